#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/errors.h"
#include "common/mutex.h"
#include "tests_support/paths.h"

#ifdef _WIN32
#include "common/win32_resources.h"
#endif

namespace norvale {
namespace {

TEST(MutexTest, IsReentrantForItsOwningThread) {
    TMutex mutex(test::UniqueTestName("reentrant"));
    mutex.Wait();
    mutex.Wait();
    mutex.Release();
    mutex.Release();
}

TEST(MutexTest, MutexesOfOneNameExcludeEachOther) {
    const std::string name = test::UniqueTestName("shared");
    TMutex first(name);
    TMutex second(name);
    std::atomic<bool> acquired{false};
    first.Wait();
    std::thread other([&] {
        TMutexLock lock(second);
        acquired = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(acquired);
    first.Release();
    other.join();
    EXPECT_TRUE(acquired);
}

TEST(MutexTest, CreationFailureTexts) {
    EXPECT_EQ(MutexCreationFailureText("brantwick Norvale Mutex", true),
              "mutex brantwick Norvale Mutex already exists.");
    EXPECT_EQ(MutexCreationFailureText("brantwick Norvale Mutex", false),
              "could not create mutex brantwick Norvale Mutex.");
}

#ifdef _WIN32
TEST(MutexTest, NameTakenByAnotherKindOfObjectFailsCreation) {
    const std::string name = test::UniqueTestName("taken");
    UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(event);
    try {
        TMutex mutex(name);
        FAIL() << "created a mutex over an event";
    } catch (const ENorvaleError& error) {
        EXPECT_EQ(std::string(error.what()), "could not create mutex " + name + ".");
    }
}

TEST(MutexTest, AbandonedMutexCountsAsAcquired) {
    TMutex mutex(test::UniqueTestName("abandoned"));
    std::thread([&] { mutex.Wait(); }).join();  // ends while holding it
    mutex.Wait();
    mutex.Release();
}
#endif

}  // namespace
}  // namespace norvale
