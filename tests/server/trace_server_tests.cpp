// The server object and its sessions, on recording outputs: notices, what
// each session call writes, the session registry, detaching.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <deque>
#include <future>
#include <thread>

#include "server/trace_server.h"
#include "tests_support/recording_outputs.h"
#include "tests_support/scratch.h"
#include "tests_support/wait_until.h"

namespace norvale {
namespace {

using Entries = std::vector<std::string>;

class TraceServerTest : public testing::Test {
protected:
    void SetUp() override { key_.SetFlag("ToConsole", true); }

    TTraceServer& Server() {
        if (!server_) {
            server_ = std::make_unique<TTraceServer>(
                lock_, stage_, registry_, [] { return LocalDateTime{2026, 12, 8, TimeOfDay{14, 3, 27, 512}}; },
                localTimeOf_);
            server_->Start();
        }
        return *server_;
    }
    // The console lines written since the server started.
    Entries Lines() {
        Entries lines;
        for (const auto& entry : recorders_.journal.entries) lines.push_back(entry.substr(sizeof("console: ") - 1));
        return lines;
    }
    std::vector<std::string> RegisteredNames() { return registry_.SessionNames(); }

    TTraceServer::LocalTimeOf localTimeOf_ = LocalTimeOfFileTime;
    TMutex lock_{"trace server test lock"};
    test::RecordingProcessOutputs recorders_;
    test::ScratchSettings key_;
    TSessionRegistry registry_{lock_};
    TOutputStage stage_{lock_, *recorders_.outputs, key_.Location()};
    std::unique_ptr<TTraceServer> server_;
};

TEST_F(TraceServerTest, ServerAnnouncesItselfWithoutPrefix) {
    key_.SetFlag("IncludeDateTime", true);
    Server();
    server_.reset();
    EXPECT_EQ(Lines(), (Entries{"Norvale Starting Up", "Norvale Shutting Down"}));
}

TEST_F(TraceServerTest, EveryCallKindWithAllFieldsOn) {
    for (const char* name : {"IncludeDateTime", "IncludeProject", "IncludeModule", "IncludeClass",
                             "IncludeMachine", "IncludeProcess", "IncludeThread", "IncludeCode"}) {
        key_.SetFlag(name, true);
    }
    auto session = Server().OpenSession(TraceSource{L"Billing", L"Core", L"TInvoice", L"WS12", 0x4D2});
    session->AddMessage(0x1A4, 10, L"Posting done");
    session->AddClassMessage(7, L"TOther", 1, L"class message");
    session->EnterMethod(7, L"Run");
    session->ExitMethod(7, L"Run");
    session->AddStrings(7, 3, L"Lines", L"a\r\nb");
    const uint8_t bytes[] = {0x41, 0x00, 0x7A};
    session->AddBinary(7, 4, L"Bytes", bytes);
    session->CloseSession();
    const std::string p = "14:03:27.512 Billing Core WS12 000004d2 ";
    const std::string indent(p.size() + std::string("TInvoice 00000003 00000007 ").size() + 2, ' ');
    EXPECT_EQ(Lines(), (Entries{
                           "Norvale Starting Up",
                           p + "TInvoice 00000000 Session opened.",
                           p + "TInvoice 0000000a 000001a4 Posting done",
                           p + "TOther 00000001 00000007 class message",
                           p + "TInvoice 00000000 00000007 -> Run",
                           p + "TInvoice 00000000 00000007 <- Run",
                           p + "TInvoice 00000003 00000007 Lines",
                           indent + "a",
                           indent + "b",
                           p + "TInvoice 00000004 00000007 Bytes",
                           indent + "41 00 7a " + std::string(39, ' ') + "A.z",
                           p + "TInvoice 00000000 Session closed.",
                       }));
}

TEST_F(TraceServerTest, ViewerGetsKindsForEveryCall) {
    key_.SetFlag("ToConsole", false);
    key_.SetFlag("ToCodeSite", true);
    auto session = Server().OpenSession(TraceSource{L"P", L"", L"", L"", 0});
    session->AddMessage(0, 1, L"one");
    session->AddMessage(0, 2, L"two");
    session->AddMessage(0, 3, L"three");
    session->AddMessage(0, -1, L"minus");
    session->EnterMethod(0, L"in");
    session->ExitMethod(0, L"out");
    EXPECT_EQ(recorders_.journal.entries,
              (Entries{"viewer: Norvale Starting Up [8]", "viewer: Session opened. [8]", "viewer: one [1]",
                       "viewer: two [2]", "viewer: three [0]", "viewer: minus [0]", "viewer: in [9]",
                       "viewer: out [10]"}));
}

TEST_F(TraceServerTest, SessionOpenedWithProjectOnlyShowsNoOtherSessionFields) {
    for (const char* name : {"IncludeProject", "IncludeModule", "IncludeClass", "IncludeMachine",
                             "IncludeProcess"}) {
        key_.SetFlag(name, true);
    }
    auto session = Server().OpenSession(TraceSource{L"P", L"", L"", L"", 0});
    session->AddMessage(0, 0, L"plain");
    session->AddClassMessage(0, L"TGiven", 0, L"with class");
    EXPECT_EQ(Lines(), (Entries{"Norvale Starting Up", "P Session opened.", "P plain", "P TGiven with class"}));
    EXPECT_EQ(RegisteredNames(), (std::vector<std::string>{"P///"}));
}

TEST_F(TraceServerTest, ClassMessageWithEmptyClassShowsNoClassField) {
    key_.SetFlag("IncludeClass", true);
    auto session = Server().OpenSession(TraceSource{L"P", L"M", L"TSession", L"", 0});
    session->AddClassMessage(0, L"", 0, L"none");
    session->AddMessage(0, 0, L"own");
    EXPECT_EQ(Lines(), (Entries{"Norvale Starting Up", "TSession Session opened.", "none", "TSession own"}));
    EXPECT_EQ(RegisteredNames(), (std::vector<std::string>{"P/M/TSession/"}));
}

TEST_F(TraceServerTest, NoticesCarryCodeZeroAndNoThreadField) {
    key_.SetFlag("IncludeCode", true);
    key_.SetFlag("IncludeThread", true);
    auto session = Server().OpenSession(TraceSource{L"P", L"", L"", L"", 0});
    session->EnterMethod(0x1A4, L"Run");
    session->CloseSession();
    EXPECT_EQ(Lines(), (Entries{"Norvale Starting Up", "00000000 Session opened.", "00000000 000001a4 -> Run",
                                "00000000 Session closed."}));
}

TEST_F(TraceServerTest, ClosingRemovesOnlyThatSessionsEntry) {
    auto first = Server().OpenSession(TraceSource{L"Same", L"", L"", L"", 0});
    auto second = Server().OpenSession(TraceSource{L"Same", L"", L"", L"", 0});
    auto other = Server().OpenSession(TraceSource{L"Other", L"", L"", L"", 0});
    EXPECT_EQ(registry_.OpenSessionCount(), 3);
    second->CloseSession();
    auto entries = registry_.Snapshot();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].SessionNumber, first->SessionNumber());
    EXPECT_EQ(entries[1].SessionNumber, other->SessionNumber());
}

TEST_F(TraceServerTest, SecondCloseWritesAgainButLeavesTheCount) {
    auto session = Server().OpenSession(TraceSource{L"P", L"", L"", L"", 0});
    session->CloseSession();
    session->CloseSession();
    session->AddMessage(0, 0, L"after close");
    EXPECT_EQ(registry_.OpenSessionCount(), 0);
    EXPECT_EQ(Lines(), (Entries{"Norvale Starting Up", "Session opened.", "Session closed.", "Session closed.",
                                "after close"}));
}

TEST_F(TraceServerTest, SessionReleasedWithoutCloseStaysRegistered) {
    Server().OpenSession(TraceSource{L"Gone", L"", L"", L"", 0}).reset();
    auto later = Server().OpenSession(TraceSource{L"Later", L"", L"", L"", 0});
    later->CloseSession();
    EXPECT_EQ(RegisteredNames(), (std::vector<std::string>{"Gone///"}));
    EXPECT_EQ(registry_.OpenSessionCount(), 1);
}

TEST_F(TraceServerTest, FailedOpenRegistersNothing) {
    Server();
    recorders_.console->failing = true;
    EXPECT_THROW(Server().OpenSession(TraceSource{L"P", L"", L"", L"", 0}), EInOutError);
    EXPECT_EQ(registry_.OpenSessionCount(), 0);
}

// The trace window's sink takes each entry before the console fails it.
TEST_F(TraceServerTest, BatchGoesOnPastAFailedEntryAndRaisesTheFirstFailureAfterTheLast) {
    recorders_.options.SetFlag("ToWindow", true);
    auto session = Server().OpenSession(TraceSource{L"P", L"", L"", L"", 0});
    recorders_.console->failing = true;
    const std::vector<BatchEntry> batch = {{SessionCallKind::Message, 1, 0, 0, L"", L"first", L"", {}},
                                           {SessionCallKind::Strings, 1, 0, 0, L"", L"second", L"a", {}}};
    EXPECT_THROW(session->AddEntries(batch), EInOutError);
    const Entries journal = recorders_.journal.entries;
    EXPECT_EQ(Entries(journal.end() - 2, journal.end()), (Entries{"window: first [0]", "window: second|a [6]"}));
}

// The platform cannot make the earliest and latest times local in every
// time zone; a batch holding one is refused before any of it is written.
TEST_F(TraceServerTest, BatchWithATimeThatCannotBeMadeLocalWritesNothing) {
    localTimeOf_ = [](uint64_t time) {
        if (time == 7) throw ENorvaleError("The time 7 cannot be made local time");
        return LocalTimeOfFileTime(time);
    };
    auto session = Server().OpenSession(TraceSource{L"P", L"", L"", L"", 0});
    const std::vector<BatchEntry> batch = {{SessionCallKind::Message, 0, 0, 0, L"", L"first", L"", {}, 4},
                                           {SessionCallKind::Message, 0, 0, 7, L"", L"second", L"", {}, 34}};
    try {
        session->AddEntries(batch);
        ADD_FAILURE() << "the batch was taken";
    } catch (const EBatchFormat& fault) {
        EXPECT_STREQ(fault.what(), "Batch entry 2 at byte 34: its time 7 cannot be made the server's local time");
    }
    EXPECT_EQ(Lines(), (Entries{"Norvale Starting Up", "Session opened."}));
}

#ifndef _WIN32
// Whenever a slice writes its first entry, another thread queues for the
// output lock (to write "|", or to end the server object) and the slice goes
// on only once it waits: it gets the lock when the slice ends, so the count
// of the batch's entries written before each of its lines shows where each
// slice ended. Native only: the kernel does not tell whether a thread waits.
TEST_F(TraceServerTest, ABatchLetsAWaitingClientInBetweenItsSlices) {
    using K = SessionCallKind;
    const auto message = [](size_t number, size_t pad = 0) {
        return BatchEntry{K::Message, 0, 0, 0, L"", L"e" + std::to_wstring(number) + std::wstring(pad, L' '), L"", {}};
    };
    const auto messages = [&](size_t count) {
        std::vector<BatchEntry> entries;
        for (size_t n = 1; n <= count; ++n) entries.push_back(message(n));
        return entries;
    };
    // Class, text, data and bytes of three entries: 1 MiB with 524,276 bytes.
    const auto mebibyte = [](size_t bytes) {
        return std::vector<BatchEntry>{{K::ClassMessage, 0, 0, 0, std::wstring(131072, L'c'), L"e1", L"", {}},
                                       {K::Strings, 0, 0, 0, L"", L"e2", std::wstring(131072, L'd'), {}},
                                       {K::Binary, 0, 0, 0, L"", L"e3", L"", std::vector<uint8_t>(bytes, 0x41)}};
    };
    const struct {
        const char* name;
        std::vector<BatchEntry> entries;
        bool serverEnds;
        std::string shape;
    } rows[] = {
        {"1,000 entries", messages(1000), false, "1000|"},
        {"1,001 entries", messages(1001), false, "1000|1001|"},
        {"1 MiB", mebibyte(524276), false, "3|"},
        {"1 MiB and a byte", mebibyte(524277), false, "2|3|"},
        {"an entry of 1 MiB and 2 bytes", {message(1), message(2, 524287), message(3)}, false, "1|2|3|"},
        {"the server object ends", messages(1001), true, "1000 end"},
    };
    test::ScratchDirectory dir;
    key_.SetFlag("ToFile", true);
    key_.SetFlag("FlushOutputFile", true);
    key_.Set("Filename", dir.PathOf("out.txt"));
    for (const auto& row : rows) {
        auto session = Server().OpenSession(TraceSource{L"P", L"", L"", L"", 0});
        auto other = Server().OpenSession(TraceSource{L"Q", L"", L"", L"", 0});
        std::vector<std::thread> others;
        size_t written = 0;
        bool queued = false;
        std::string shape;
        recorders_.console->recorded = [&](const std::string& line) {
            if (line == "|" || line == "Norvale Shutting Down") {
                queued = false;
                shape += std::to_string(written) + (line == "|" ? "|" : " end");
                // The slice before closed the file: a batch of the stage each.
                EXPECT_FALSE(stage_.OutputFileOpen()) << row.name;
            } else if (line[0] == 'e') {
                ++written;
                if (queued) return;
                queued = true;
                others.emplace_back([&] { row.serverEnds ? server_.reset() : other->AddMessage(0, 0, L"|"); });
                EXPECT_TRUE(test::WaitUntil([&] { return lock_.IsQueued(others.back().get_id()); },
                                            std::chrono::seconds(10)))
                    << row.name << ": the other thread did not queue for the output lock within 10 s";
            }
        };
        session->AddEntries(row.entries);
        {
            TMutexLock behindTheLastQueued(lock_);
            recorders_.console->recorded = nullptr;
        }
        for (auto& thread : others) thread.join();
        EXPECT_EQ(shape, row.shape) << row.name;
        server_.reset();
    }
}
#endif

TEST_F(TraceServerTest, SessionsOfADestroyedServerWriteNothingButStillLeaveTheRegistry) {
    auto session = Server().OpenSession(TraceSource{L"P", L"", L"", L"", 0});
    auto other = Server().OpenSession(TraceSource{L"Q", L"", L"", L"", 0});
    server_.reset();
    EXPECT_TRUE(session->Detached());
    session->AddMessage(0, 0, L"nowhere");
    session->AddStrings(0, 0, L"nowhere", L"a");
    session->AddEntries(std::vector<BatchEntry>{{SessionCallKind::Message, 0, 0, 0, L"", L"nowhere", L"", {}}});
    session->CloseSession();
    EXPECT_EQ(Lines(), (Entries{"Norvale Starting Up", "Session opened.", "Session opened.", "Norvale Shutting Down"}));
    EXPECT_EQ(RegisteredNames(), (std::vector<std::string>{"Q///"}));
    EXPECT_EQ(registry_.OpenSessionCount(), 1);
}

TEST_F(TraceServerTest, RegistryOutlivesTheServerObject) {
    auto session = Server().OpenSession(TraceSource{L"Kept", L"", L"", L"", 0});
    server_.reset();
    Server();
    EXPECT_EQ(RegisteredNames(), (std::vector<std::string>{"Kept///"}));
    EXPECT_EQ(Lines().back(), "Norvale Starting Up");
}

TEST_F(TraceServerTest, FileNameTemplateExpandsForSessionsOnly) {
    test::ScratchDirectory dir;
    key_.SetFlag("ToConsole", false);
    key_.SetFlag("ToFile", true);
    key_.Set("Filename", dir.PathOf("%PROJECT%-%PROCESS%.txt"));
    auto session = Server().OpenSession(TraceSource{L"P", L"", L"", L"", 0x10});
    session->AddMessage(0, 0, L"mine");
    server_.reset();
    EXPECT_EQ(test::ReadWholeFile(dir.PathOf("P-00000010.txt")), "Session opened.\r\nmine\r\n");
    EXPECT_EQ(test::ReadWholeFile(dir.PathOf("%PROJECT%-%PROCESS%.txt")),
              "Norvale Starting Up\r\nNorvale Shutting Down\r\n");
}

// What the status page would see at each notification.
TEST(SessionRegistryTest, NotifiesAfterEveryChangeInOrder) {
    TMutex lock("registry notification lock");
    std::vector<std::string> seen;
    TSessionRegistry* registry = nullptr;
    TSessionRegistry owned(lock, [&] {
        std::string view = std::to_string(registry->OpenSessionCount());
        for (const auto& name : registry->SessionNames()) view += " " + name;
        seen.push_back(view);
    });
    registry = &owned;
    owned.Add(1, "A///");
    owned.Add(2, "B///");
    owned.Remove(1);
    owned.Remove(1);
    owned.Remove(2);
    EXPECT_EQ(seen, (std::vector<std::string>{"1 A///", "2 A/// B///", "1 B///", "0"}));
}

// A listener that hands the news to a slow "main thread", which reads the
// registry under the lock for each, holds no client up for good.
TEST(SessionRegistryTest, SlowReaderOfNotificationsDeadlocksNoClient) {
    TMutex lock("registry slow reader lock");
    std::mutex queueLock;
    std::condition_variable queued;
    std::deque<int> notices;
    bool stopping = false;
    TSessionRegistry registry(lock, [&] {
        std::lock_guard guard(queueLock);
        notices.push_back(1);
        queued.notify_one();
    });
    std::thread mainThread([&] {
        std::unique_lock guard(queueLock);
        while (!stopping || !notices.empty()) {
            queued.wait(guard, [&] { return stopping || !notices.empty(); });
            if (notices.empty()) continue;
            notices.pop_front();
            guard.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            registry.SessionNames();
            guard.lock();
        }
    });
    auto clients = std::async(std::launch::async, [&] {
        std::vector<std::thread> threads;
        for (uint64_t t = 0; t < 2; ++t) {
            threads.emplace_back([&, t] {
                for (uint64_t n = 0; n < 100; ++n) {
                    TMutexLock held(lock);
                    registry.Add(t * 1000 + n, "S///");
                    registry.Remove(t * 1000 + n);
                }
            });
        }
        for (auto& thread : threads) thread.join();
    });
    if (clients.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        // Deadlocked threads cannot be joined; end the test program instead.
        ADD_FAILURE() << "the clients' sessions did not all open and close within 30 s";
        std::fflush(stdout);
        std::_Exit(1);
    }
    {
        std::lock_guard guard(queueLock);
        stopping = true;
        queued.notify_one();
    }
    mainThread.join();
    EXPECT_EQ(registry.OpenSessionCount(), 0);
}

TEST(SessionNameTest, JoinsTheFourNamesWithSlashes) {
    EXPECT_EQ(SessionName(SessionNaming{"P", "M", "C", "W", 12}), "P/M/C/W");
    EXPECT_EQ(SessionName(SessionNaming{}), "///");
}

}  // namespace
}  // namespace norvale
