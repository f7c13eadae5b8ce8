// The server and session objects inside the test process, on recording
// outputs: what crosses the interface boundary (error information, which
// Wine does not carry across processes), the interfaces each object hands
// out, the type information, the factory.

#include <gtest/gtest.h>

#include <norvale/tracer.h>

#include <algorithm>
#include <atomic>
#include <sstream>
#include <thread>

#include "app/console_control.h"
#include "common/file_io.h"
#include "common/ansi_text.h"
#include "server/co_debug_session.h"
#include "server/co_norvale.h"
#include "server/server_instance.h"
#include "tests/com/com_support.h"
#include "tests/com/in_process_host.h"
#include "tests_support/paths.h"
#include "tests_support/recording_outputs.h"

namespace norvale {
namespace {

using Entries = std::vector<std::string>;

class InProcessTest : public test::InProcessHost {
protected:
    void SetUp() override {
        context_.Diagnostic = [this](const std::string& text) { diagnostics_.push_back(text); };
        settings_.SetFlag("ToConsole", true);
        settings_.SetFlag("ToCodeSite", true);
    }

    Entries diagnostics_;
};

std::string ErrorInfoGuidAndText(REFIID expectedGuid) {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return "(none)";
    GUID guid{};
    info->GetGUID(&guid);
    UniqueBstr source, description;
    info->GetSource(source.put());
    info->GetDescription(description.put());
    DWORD helpContext = 99;
    info->GetHelpContext(&helpContext);
    // A missing source or description is a null BSTR: it reads as empty, so
    // the comparison fails instead of the test program.
    return (guid == expectedGuid ? "guid ok|" : "other guid|") + std::to_string(helpContext) + "|" +
           WideToAnsi(TextOf(source.get())) + "|" + WideToAnsi(TextOf(description.get()));
}

TEST_F(InProcessTest, FailuresPostErrorInfoWithSourceInterfaceAndDescription) {
    ComPtr<INorvale> norvale = Activate();
    recorders_.console->failing = true;
    IDebugSession* failed = reinterpret_cast<IDebugSession*>(1);
    EXPECT_EQ(norvale->OpenSession(test::Bstr(L"P"), &failed), E_UNEXPECTED);
    EXPECT_EQ(failed, nullptr);
    EXPECT_EQ(ErrorInfoGuidAndText(IID_INorvale), "guid ok|0|Norvale.Norvale|console failed");
    EXPECT_EQ(registry_.OpenSessionCount(), 0);

    recorders_.console->failing = false;
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    VARIANT scalar;
    VariantInit(&scalar);
    V_VT(&scalar) = VT_I4;
    EXPECT_EQ(session->AddBinary(0, 0, test::Bstr(L"x"), scalar), E_UNEXPECTED);
    EXPECT_EQ(ErrorInfoGuidAndText(IID_IDebugSession), "guid ok|0|Norvale.DebugSession|Variant must be Array");

    // A failure that carries a result code of its own keeps it.
    EXPECT_EQ(norvale->OpenSession(test::Bstr(L"P"), nullptr), E_POINTER);
    EXPECT_EQ(ErrorInfoGuidAndText(IID_INorvale), "guid ok|0|Norvale.Norvale|OpenSession needs a result slot");
    EXPECT_EQ(registry_.OpenSessionCount(), 1);
}

// A batch of every kind, by reference, after the same single calls: the same
// file lines but that the batch's carry the client's time; then bad arrays,
// refused with the fault as error info (a time that cannot be made local
// among them), and nothing of them written.
TEST_F(InProcessTest, BatchWritesTheSingleCallsLinesAtTheClientsTimeAndRefusesABadOne) {
    test::ScratchDirectory dir;
    settings_.Set("Filename", dir.PathOf("trace.txt"));
    for (const char* name : {"ToFile", "IncludeDateTime", "IncludeClass", "IncludeThread", "IncludeCode"}) {
        settings_.SetFlag(name, true);
    }
    // The time zones east of UTC cannot make the latest times local.
    context_.LocalTimeOf = [](uint64_t time) {
        if (time == 7) throw ENorvaleError("The time 7 cannot be made local time");
        return LocalTimeOfFileTime(time);
    };
    ComPtr<INorvale> norvale = Activate();
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenClassSession(test::Bstr(L"P"), test::Bstr(L"M"), test::Bstr(L"TC"), session.put()), S_OK);
    const std::vector<uint8_t> data = {0x41, 0x00, 0x7A};
    VARIANT bytes, array, untimely, byReference, numbers, scalar{};
    test::MakeByteArray(bytes, data);
    const HRESULT singles[] = {session->AddMessage(7, 10, test::Bstr(L"plain")),
                               session->EnterMethod(7, test::Bstr(L"Run")),
                               session->AddClassMessage(7, test::Bstr(L"TX"), 2, test::Bstr(L"classy")),
                               session->ExitMethod(7, test::Bstr(L"Run")),
                               session->AddStrings(7, 3, test::Bstr(L"text"), test::Bstr(L"a\r\nb")),
                               session->AddBinary(7, 4, test::Bstr(L"bytes"), bytes)};
    for (const HRESULT result : singles) EXPECT_EQ(result, S_OK);
    VariantClear(&bytes);
    SYSTEMTIME local{2026, 12, 2, 8, 14, 3, 27, 512}, utc{};
    FILETIME clientTime{};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && SystemTimeToFileTime(&utc, &clientTime));
    const uint64_t time = (static_cast<uint64_t>(clientTime.dwHighDateTime) << 32) | clientTime.dwLowDateTime;
    TBatchWriter batch;
    batch.Message(7, 10, time, L"plain");
    batch.EnterMethod(7, time, L"Run");
    batch.ClassMessage(7, 2, time, L"TX", L"classy");
    batch.ExitMethod(7, time, L"Run");
    batch.Strings(7, 3, time, L"text", L"a\r\nb");
    batch.Binary(7, 4, time, L"bytes", data.data(), data.size());
    test::MakeByteArray(array, batch.Bytes());
    V_VT(&byReference) = VT_BYREF | VT_ARRAY | VT_UI1;
    V_ARRAYREF(&byReference) = &V_ARRAY(&array);
    const auto session2 = session.query<IDebugSession2>(IID_IDebugSession2);
    EXPECT_EQ(session2->AddEntries(byReference), S_OK);

    const std::string notBytes = "The entries must be a one-dimensional array of bytes (VT_ARRAY | VT_UI1)";
    std::vector<uint8_t> cut = batch.Bytes();
    cut.pop_back();
    VariantClear(&array);
    test::MakeByteArray(array, cut);
    std::vector<uint8_t> timed = batch.Bytes();
    std::fill_n(timed.begin() + 50, 8, 0);
    timed[50] = 7;  // entry 2's time
    test::MakeByteArray(untimely, timed);
    test::MakeVariantArray(numbers, {1, 0, 0, 0});
    V_VT(&scalar) = VT_I4;
    for (const auto& [entries, text] :
         {std::pair{&array, "Batch entry 6 at byte 186: its data of 3 bytes at byte 224 runs past the end of the batch"},
          std::pair{&untimely, "Batch entry 2 at byte 38: its time 7 cannot be made the server's local time"},
          std::pair{&numbers, notBytes.c_str()}, std::pair{&scalar, notBytes.c_str()}}) {
        EXPECT_EQ(session2->AddEntries(*entries), E_INVALIDARG) << text;
        EXPECT_EQ(ErrorInfoGuidAndText(IID_IDebugSession), std::string("guid ok|0|Norvale.DebugSession|") + text);
        VariantClear(entries);
    }
    EXPECT_EQ(session->CloseSession(), S_OK);
    std::istringstream file(test::ReadWholeFile(dir.PathOf("trace.txt")));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    constexpr size_t kCallLines = 9;  // the blocks' rows included
    ASSERT_EQ(lines.size(), 3 + 2 * kCallLines);
    for (size_t i = 2; i < 2 + kCallLines; ++i) {
        const size_t timeWidth = lines[i][0] == ' ' ? 0 : std::string("14:03:27.512 ").size();
        EXPECT_EQ(lines[i + kCallLines], lines[i + kCallLines].substr(0, timeWidth) + lines[i].substr(timeWidth));
        EXPECT_EQ(lines[i + kCallLines].substr(0, timeWidth), timeWidth != 0 ? "14:03:27.512 " : "");
    }
}

TEST_F(InProcessTest, ClassMessageKindFollowsItsCode) {
    settings_.SetFlag("ToConsole", false);
    ComPtr<INorvale> norvale = Activate();
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    for (long code : {1, 2, 3}) {
        EXPECT_EQ(session->AddClassMessage(0, test::Bstr(L"TFoo"), code, test::Bstr(L"m")), S_OK);
    }
    EXPECT_EQ(recorders_.journal.entries, (Entries{"viewer: Norvale Starting Up [8]", "viewer: Session opened. [8]",
                                                   "viewer: m [1]", "viewer: m [2]", "viewer: m [0]"}));
}

// FlushOutputFile off: only the close after "Session closed." puts the lines
// on disk and lets go of the file while the server object still lives.
TEST_F(InProcessTest, CloseSessionClosesTheOutputFile) {
    test::ScratchDirectory dir;
    const std::string file = dir.PathOf("trace.txt");
    settings_.SetFlag("ToFile", true);
    settings_.Set("Filename", file);
    ComPtr<INorvale> norvale = Activate();
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    EXPECT_EQ(session->AddMessage(0, 0, test::Bstr(L"x")), S_OK);
    EXPECT_EQ(session->CloseSession(), S_OK);
    EXPECT_EQ(test::ReadWholeFile(file), "Norvale Starting Up\r\nSession opened.\r\nx\r\nSession closed.\r\n");
    const UniqueFile alone(
        CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(alone) << "the server still holds the output file";
}

TEST_F(InProcessTest, EachObjectHandsOutItsInterfacesOnly) {
    ComPtr<INorvale> norvale = Activate();
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    struct Row {
        const char* name;
        IID iid;
        bool server;
        bool session;
    };
    const Row rows[] = {
        {"IUnknown", IID_IUnknown, true, true},
        {"IDispatch", IID_IDispatch, true, true},
        {"INorvale", IID_INorvale, true, false},
        {"IDebugProcess", IID_IDebugProcess, true, false},
        {"IDebugSession", IID_IDebugSession, false, true},
        {"IDebugSession2", IID_IDebugSession2, false, true},
        {"IDebugClients", IID_IDebugClients, false, false},
        {"IDebugClientSink", IID_IDebugClientSink, false, false},
        {"ISupportErrorInfo", IID_ISupportErrorInfo, true, true},
        {"IProvideClassInfo", IID_IProvideClassInfo, true, true},
        {"IConnectionPointContainer", IID_IConnectionPointContainer, true, true},
        {"IMarshal", IID_IMarshal, false, false},
    };
    const auto serverErrors = norvale.query<ISupportErrorInfo>(IID_ISupportErrorInfo);
    const auto sessionErrors = session.query<ISupportErrorInfo>(IID_ISupportErrorInfo);
    for (const auto& row : rows) {
        ComPtr<IUnknown> got;
        EXPECT_EQ(norvale->QueryInterface(row.iid, got.put_void()), row.server ? S_OK : E_NOINTERFACE) << row.name;
        EXPECT_EQ(session->QueryInterface(row.iid, got.put_void()), row.session ? S_OK : E_NOINTERFACE) << row.name;
        EXPECT_EQ(serverErrors->InterfaceSupportsErrorInfo(row.iid), row.server ? S_OK : S_FALSE) << row.name;
        EXPECT_EQ(sessionErrors->InterfaceSupportsErrorInfo(row.iid), row.session ? S_OK : S_FALSE) << row.name;
    }
    // One identity whatever interface is asked for.
    EXPECT_EQ(norvale.query<IUnknown>(IID_IUnknown).get(),
              norvale.query<IDebugProcess>(IID_IDebugProcess).query<IUnknown>(IID_IUnknown).get());
}

GUID GuidOf(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    const GUID guid = attributes->guid;
    info->ReleaseTypeAttr(attributes);
    return guid;
}

TEST_F(InProcessTest, LateBindingAlwaysWorksOnTheDefaultInterface) {
    ComPtr<INorvale> norvale = Activate();
    // IDispatch reached through IDebugProcess is still the server's INorvale.
    const ComPtr<IDebugProcess> process = norvale.query<IDebugProcess>(IID_IDebugProcess);
    IDispatch* dispatch = process.get();
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
    EXPECT_FALSE(info);
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.put()), S_OK);
    EXPECT_EQ(GuidOf(info.get()), IID_INorvale);

    DISPID id = 0;
    LPOLESTR open[] = {const_cast<LPOLESTR>(L"OpenSessionEx")};
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, open, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 3);
    LPOLESTR attach[] = {const_cast<LPOLESTR>(L"AttachToProcess")};
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, attach, 1, 0, &id), DISP_E_UNKNOWNNAME);

    ComPtr<ITypeInfo> classInfo;
    ASSERT_EQ(norvale.query<IProvideClassInfo>(IID_IProvideClassInfo)->GetClassInfo(classInfo.put()), S_OK);
    EXPECT_EQ(GuidOf(classInfo.get()), CLSID_Norvale);

    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    ASSERT_EQ(session.query<IProvideClassInfo>(IID_IProvideClassInfo)->GetClassInfo(classInfo.put()), S_OK);
    EXPECT_EQ(GuidOf(classInfo.get()), CLSID_DebugSession);
    ASSERT_EQ(session->GetTypeInfo(0, 0, info.put()), S_OK);
    EXPECT_EQ(GuidOf(info.get()), IID_IDebugSession);
}

TEST_F(InProcessTest, NoObjectOffersAConnectionPoint) {
    ComPtr<INorvale> norvale = Activate();
    ComPtr<IDebugSession> session;
    ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    for (IUnknown* object : {static_cast<IUnknown*>(norvale.get()), static_cast<IUnknown*>(session.get())}) {
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(object->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
        for (const IID& iid : {IID_IDebugClientSink, IID_IDispatch, IID_IPropertyNotifySink}) {
            IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(1);
            EXPECT_EQ(container->FindConnectionPoint(iid, &point), E_FAIL);
            EXPECT_EQ(point, nullptr);
        }
        IEnumConnectionPoints* points = reinterpret_cast<IEnumConnectionPoints*>(1);
        EXPECT_EQ(container->EnumConnectionPoints(&points), E_NOTIMPL);
        EXPECT_EQ(points, nullptr);
    }
}

TEST_F(InProcessTest, ActivationForAnInterfaceNotHandedOutMakesAndEndsTheObject) {
    ComPtr<IDebugClients> clients;
    EXPECT_EQ(factory_.CreateInstance(nullptr, IID_IDebugClients, clients.put_void()), E_NOINTERFACE);
    EXPECT_FALSE(clients);
    EXPECT_FALSE(instance_.Current());
    EXPECT_EQ(Console(), (Entries{"Norvale Starting Up", "Norvale Shutting Down"}));
}

TEST_F(InProcessTest, AggregationIsRefused) {
    ComPtr<IUnknown> object;
    IUnknown* outer = reinterpret_cast<IUnknown*>(&factory_);
    EXPECT_EQ(factory_.CreateInstance(outer, IID_IUnknown, object.put_void()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory_.CreateInstance(outer, IID_INorvale, object.put_void()), CLASS_E_NOAGGREGATION);
    EXPECT_TRUE(Console().empty());
}

TEST_F(InProcessTest, FirstActivationsAtOnceShareOneObject) {
    constexpr int kThreads = 8;
    std::vector<ComPtr<INorvale>> got(kThreads);
    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            --waiting;
            while (waiting > 0) std::this_thread::yield();
            factory_.CreateInstance(nullptr, IID_INorvale, got[static_cast<size_t>(t)].put_void());
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& norvale : got) EXPECT_EQ(norvale.get(), got[0].get());
    got.clear();
    EXPECT_EQ(Console(), (Entries{"Norvale Starting Up", "Norvale Shutting Down"}));
}

TEST_F(InProcessTest, FailedStartIsReportedAndTheObjectEndsAtOnce) {
    recorders_.viewer->failing = true;
    ComPtr<INorvale> norvale;
    EXPECT_EQ(factory_.CreateInstance(nullptr, IID_INorvale, norvale.put_void()), E_UNEXPECTED);
    EXPECT_FALSE(norvale);
    EXPECT_FALSE(instance_.Current());
    // The shut-down notice is written with the settings read so far.
    EXPECT_EQ(Console(), (Entries{"Norvale Starting Up", "Norvale Shutting Down"}));
    EXPECT_EQ(reports_, (Entries{"viewer failed."}));
    EXPECT_EQ(ActivationFailureText("ends with a stop."), "ends with a stop.");
    EXPECT_EQ(ActivationFailureText("code (3)"), "code (3)");
    EXPECT_EQ(ActivationFailureText("no stop"), "no stop.");
}

TEST_F(InProcessTest, NullAndEmptyTextsAreAlike) {
    settings_.SetFlag("ToCodeSite", false);
    settings_.SetFlag("IncludeProject", true);
    settings_.SetFlag("IncludeClass", true);
    ComPtr<INorvale> norvale = Activate();
    ComPtr<IDebugSession> a, b;
    ASSERT_EQ(norvale->OpenClassSession(nullptr, nullptr, nullptr, a.put()), S_OK);
    ASSERT_EQ(norvale->OpenClassSession(test::Bstr(L""), test::Bstr(L""), test::Bstr(L""), b.put()), S_OK);
    EXPECT_EQ(a->AddClassMessage(0, nullptr, 0, nullptr), S_OK);
    EXPECT_EQ(b->AddClassMessage(0, test::Bstr(L""), 0, test::Bstr(L"")), S_OK);
    EXPECT_EQ(a->AddStrings(0, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(Console(), (Entries{"Norvale Starting Up", "Session opened.", "Session opened.", "", "", ""}));
    const auto entries = registry_.Snapshot();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].SessionName, "///");
    EXPECT_EQ(entries[1].SessionName, "///");
}

TEST_F(InProcessTest, SessionsOutliveTheirServerObjectAsHarmlessObjects) {
    ComPtr<IDebugSession> session;
    {
        ComPtr<INorvale> norvale = Activate();
        ASSERT_EQ(norvale->OpenSession(test::Bstr(L"P"), session.put()), S_OK);
    }
    EXPECT_EQ(session->AddMessage(0, 0, test::Bstr(L"nowhere")), S_OK);
    VARIANT notAnArray{};
    EXPECT_EQ(session->AddBinary(0, 0, test::Bstr(L"nowhere"), notAnArray), S_OK);
    EXPECT_EQ(Console(), (Entries{"Norvale Starting Up", "Session opened.", "Norvale Shutting Down"}));
    // A new server object of the same process finds the registry as it was,
    // and the session still leaves it.
    ComPtr<INorvale> again = Activate();
    EXPECT_EQ(registry_.OpenSessionCount(), 1);
    EXPECT_EQ(session->CloseSession(), S_OK);
    EXPECT_EQ(registry_.OpenSessionCount(), 0);
}

// What the tray reads and does from the main thread: only the live server
// object has a file to flush.
TEST_F(InProcessTest, ShellFlushesTheFileOfTheLiveServerObjectOnly) {
    test::ScratchDirectory dir;
    settings_.SetFlag("ToFile", true);
    settings_.SetFlag("FlushOutputFile", false);
    settings_.Set("Filename", dir.PathOf("out.txt"));
    EXPECT_FALSE(stage_.OutputFileOpen());
    instance_.CloseOutputFile();
    {
        ComPtr<INorvale> norvale = Activate();
        EXPECT_TRUE(stage_.OutputFileOpen());
        EXPECT_EQ(test::ReadWholeFile(dir.PathOf("out.txt")), "");
        instance_.CloseOutputFile();
        EXPECT_FALSE(stage_.OutputFileOpen());
        EXPECT_EQ(test::ReadWholeFile(dir.PathOf("out.txt")), "Norvale Starting Up\r\n");
    }
    EXPECT_FALSE(stage_.OutputFileOpen());
}

// Wine's factory proxy answers `LockServer` itself: the factory is asked here.
TEST_F(InProcessTest, AnUnlockWithoutItsLockLeavesTheObjectCountAlone) {
    int count = 0;
    context_.ObjectCreated = [&count] { ++count; };
    context_.ObjectDestroyed = [&count] { --count; };
    const struct {
        BOOL lock;
        int count;
    } steps[] = {{FALSE, 0}, {TRUE, 1}, {TRUE, 2}, {FALSE, 1}, {FALSE, 0}, {FALSE, 0}};
    for (const auto& step : steps) {
        EXPECT_EQ(factory_.LockServer(step.lock), S_OK);
        EXPECT_EQ(count, step.count);
    }
}

TEST_F(InProcessTest, DebuggerRequestsReachTheDiagnosticHookOnly) {
    settings_.SetFlag("ToCodeSite", false);
    ComPtr<IDebugProcess> process = Activate().query<IDebugProcess>(IID_IDebugProcess);
    long value = 0;
    EXPECT_EQ(process->AttachToProcess(42, &value), S_OK);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(process->DetachFromProcess(-1), S_OK);
    EXPECT_EQ(diagnostics_, (Entries{"Attaching to process 0000002a", "Detaching from process ffffffff"}));
    EXPECT_EQ(Console(), (Entries{"Norvale Starting Up"}));
}

TEST(ConsoleControlTest, EveryEventReachesTheHandlerWhoseAnswerIsTheSystemsUntilTheControlEnds) {
    int runs = 0;
    {
        TConsoleControl control([&](DWORD event) {
            ++runs;
            if (event == CTRL_BREAK_EVENT) throw std::runtime_error("a failing handler");
            return event == CTRL_C_EVENT ? TRUE : FALSE;
        });
        for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
            EXPECT_EQ(TConsoleControl::HandleEvent(event), event == CTRL_C_EVENT ? TRUE : FALSE) << event;
        }
    }
    EXPECT_EQ(runs, 5);
    EXPECT_EQ(TConsoleControl::HandleEvent(CTRL_CLOSE_EVENT), FALSE);
    EXPECT_EQ(runs, 5) << "an event after the control's end";
}

}  // namespace
}  // namespace norvale
