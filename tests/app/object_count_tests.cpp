// The automation-mode quit reaches the thread that made the count, even when
// the last object goes before that thread first asks for a message.

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "app/object_count.h"
#include "common/win32_resources.h"

namespace norvale {
namespace {

TEST(ObjectCountTest, QuitOfAnObjectThatCameAndWentAtOnceIsNotLost) {
    const UniqueHandle counted(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle released(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    TObjectCount* count = nullptr;
    bool quitArrived = false;
    std::thread mainThread([&] {
        TObjectCount own(StartMode::Automation);
        count = &own;
        SetEvent(counted.get());
        // Asks for messages only once the object has come and gone.
        ASSERT_EQ(WaitForSingleObject(released.get(), 10000), WAIT_OBJECT_0) << "waiting for the release";
        MSG message;
        const DWORD deadline = GetTickCount() + 10000;
        while (!quitArrived && GetTickCount() < deadline) {
            if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                quitArrived = message.message == WM_QUIT;
            } else {
                Sleep(10);
            }
        }
    });
    ASSERT_EQ(WaitForSingleObject(counted.get(), 10000), WAIT_OBJECT_0) << "waiting for the count to be made";
    count->Raise();
    count->Lower();
    SetEvent(released.get());
    mainThread.join();
    EXPECT_TRUE(quitArrived) << "no quit within 10 s";
}

}  // namespace
}  // namespace norvale
