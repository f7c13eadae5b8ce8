// The tracer's buffer and thread against a link that records what it is sent:
// every kind in its order, what is dropped and how it is reported, when a
// batch goes, and the bounds of its waits on a server that never answers.

#include <gtest/gtest.h>

#include <norvale/tracer.h>

#include <deque>

#include "tests_support/wait_until.h"

#ifdef _WIN32
#include "common/win32_resources.h"
#include "tests_support/child_process.h"
#include "tests_support/paths.h"
#include "tests_support/scratch.h"
#endif

namespace norvale {

// Where the tracer's thread waits, read under its lock: once it says so, the
// thread is inside that wait.
struct TTracerProbe {
    static bool WaitsForAnEntry(const Tracer& tracer) { return tracer.core_->State() == Tracer::TSenderState::Idle; }
    static bool WaitsOutItsInterval(const Tracer& t) { return t.core_->State() == Tracer::TSenderState::Gathering; }
};

namespace {

using namespace std::chrono_literals;
using Kind = TBatchWriter::Kind;
using Result = TTracerLink::TResult;

struct TSent {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::vector<TBatchWriter::TEntry>> batches;
    std::deque<Result> answers;  // then Delivered
    // While set, a call to the link does not return: every Send, and Begin
    // (the session's open) with holdBegin.
    bool held = false;
    bool holdBegin = false;
    bool ended = false;  // the thread is done with the link

    // Bounded: whether this many batches came within 10 s.
    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, 10s, [&] { return batches.size() >= count; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        held = false;
        arrived.notify_all();
    }
    // Bounded: whether the tracer's thread ended within 10 s.
    bool WaitForEnd() {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, 10s, [&] { return ended; });
    }
    std::vector<std::u16string> Texts(size_t batch) {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::u16string> texts;
        for (const auto& entry : batches.at(batch)) texts.push_back(entry.text);
        return texts;
    }
};

class TRecordingLink : public TTracerLink {
public:
    explicit TRecordingLink(TSent& sent) : sent_(sent) {}
    void Begin() override {
        std::unique_lock<std::mutex> lock(sent_.mutex);
        if (sent_.holdBegin) sent_.arrived.wait(lock, [&] { return !sent_.held; });
    }
    TResult Send(const TBatchWriter& batch) override {
        std::unique_lock<std::mutex> lock(sent_.mutex);
        sent_.batches.emplace_back();
        batch.ForEachEntry([&](const TBatchWriter::TEntry& entry) { sent_.batches.back().push_back(entry); });
        sent_.arrived.notify_all();
        sent_.arrived.wait(lock, [&] { return !sent_.held; });
        if (sent_.answers.empty()) return TResult::Delivered;
        const Result answer = sent_.answers.front();
        sent_.answers.pop_front();
        return answer;
    }
    void End() override {
        std::lock_guard<std::mutex> lock(sent_.mutex);
        sent_.ended = true;
        sent_.arrived.notify_all();
    }

private:
    TSent& sent_;
};

TTracerOptions SentOnlyWhenFlushed(size_t bufferBytes = 8u << 20) { return {bufferBytes, 1h, 1000}; }

TEST(TracerTest, EveryKindReachesTheLinkInItsOrderWithItsThreadAndTime) {
    TSent sent;
    const uint64_t before = FileTimeNow();
    {
        Tracer tracer(std::make_unique<TRecordingLink>(sent), SentOnlyWhenFlushed());
        tracer.Message(u"m", 1);
        tracer.ClassMessage(u"TC", u"cm", 2);
        { TTracerMethod method(tracer, u"Post"); }
        tracer.Strings(u"s", u"a\r\nb", 3);
        tracer.Binary(u"bin", "\x00\xFF", 2, 4);
        EXPECT_TRUE(tracer.Flush());
        EXPECT_EQ(tracer.Delivered(), 6u);
    }
    const uint64_t after = FileTimeNow();
    ASSERT_EQ(sent.batches.size(), 1u);
    const struct {
        Kind kind;
        int32_t code;
        std::u16string text, second;
        std::vector<uint8_t> data;
    } expected[] = {{Kind::Message, 1, u"m", u"", {}},        {Kind::ClassMessage, 2, u"cm", u"TC", {}},
                    {Kind::EnterMethod, 0, u"Post", u"", {}},  {Kind::ExitMethod, 0, u"Post", u"", {}},
                    {Kind::Strings, 3, u"s", u"a\r\nb", {}},   {Kind::Binary, 4, u"bin", u"", {0x00, 0xFF}}};
    ASSERT_EQ(sent.batches[0].size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& entry = sent.batches[0][i];
        EXPECT_TRUE(entry.kind == expected[i].kind && entry.code == expected[i].code &&
                    entry.text == expected[i].text && entry.second == expected[i].second &&
                    entry.data == expected[i].data)
            << "entry " << i;
        EXPECT_EQ(entry.threadId, CurrentThreadId());
        EXPECT_TRUE(before <= entry.time && entry.time <= after) << "entry " << i;
    }
}

// Room for three one-letter messages: the fourth is dropped by the buffer
// (the first batch says so), that batch by an unreachable server, the second (its note included)
// by a refusal; the third goes through and says how many were lost.
TEST(TracerTest, WhatIsDroppedIsCountedAndTheNextBatchThatGoesThroughSaysHowMany) {
    TSent sent;
    sent.answers = {Result::Unreachable, Result::Refused};
    Tracer tracer(std::make_unique<TRecordingLink>(sent), SentOnlyWhenFlushed(3 * TBatchWriter::EntrySize({2})));
    for (const char16_t* text : {u"a", u"b", u"c", u"d"}) tracer.Message(text);
    tracer.Flush();
    tracer.Message(u"e");
    tracer.Flush();
    tracer.Message(u"f");
    tracer.Flush();
    tracer.Message(u"g");
    tracer.Flush();
    EXPECT_EQ(tracer.Dropped(), 5u);
    EXPECT_EQ(tracer.Delivered(), 2u);
    ASSERT_EQ(sent.batches.size(), 4u);
    EXPECT_EQ(sent.Texts(0), (std::vector<std::u16string>{u"Norvale tracer: 1 entries dropped", u"a", u"b", u"c"}));
    EXPECT_EQ(sent.Texts(1), (std::vector<std::u16string>{u"Norvale tracer: 4 entries dropped", u"e"}));
    EXPECT_EQ(sent.Texts(2), (std::vector<std::u16string>{u"Norvale tracer: 5 entries dropped", u"f"}));
    EXPECT_EQ(sent.Texts(3), (std::vector<std::u16string>{u"g"}));
}

// An entry dropped while a batch is out, the batch's own note included, is
// told of by the next batch.
TEST(TracerTest, AnEntryDroppedWhileABatchIsOutIsToldOfByTheNextBatch) {
    TSent sent;
    sent.held = true;
    Tracer tracer(std::make_unique<TRecordingLink>(sent), SentOnlyWhenFlushed(TBatchWriter::EntrySize({2})));
    tracer.Message(u"a");
    tracer.Message(u"x");
    EXPECT_FALSE(tracer.Flush(0ms));
    ASSERT_TRUE(sent.WaitFor(1)) << "no batch reached the link within 10 s";
    tracer.Message(u"b");
    tracer.Message(u"y");
    sent.Release();
    EXPECT_TRUE(tracer.Flush());
    EXPECT_EQ(tracer.Dropped(), 2u);
    EXPECT_EQ(tracer.Delivered(), 2u);
    ASSERT_EQ(sent.batches.size(), 2u);
    EXPECT_EQ(sent.Texts(0), (std::vector<std::u16string>{u"Norvale tracer: 1 entries dropped", u"a"}));
    EXPECT_EQ(sent.Texts(1), (std::vector<std::u16string>{u"Norvale tracer: 1 entries dropped", u"b"}));
}

// Each wake-up comes while the thread already waits for it, so that only the
// wake-up can end that wait.
TEST(TracerTest, ABatchGoesAfterItsIntervalAtItsEntryBoundAndAtTheEnd) {
    const struct {
        const char* when;
        TTracerOptions options;
        size_t entries;
        bool (*waitsBeforeTheLast)(const Tracer&);
        bool endTracer;
    } cases[] = {{"the interval after one entry", {1u << 20, 10ms, 1000}, 1, TTracerProbe::WaitsForAnEntry, false},
                 {"the entry bound", {1u << 20, 1h, 3}, 3, TTracerProbe::WaitsOutItsInterval, false},
                 {"the tracer's end", {1u << 20, 1h, 1000}, 2, TTracerProbe::WaitsOutItsInterval, true}};
    for (const auto& c : cases) {
        TSent sent;
        auto tracer = std::make_unique<Tracer>(std::make_unique<TRecordingLink>(sent), c.options);
        for (size_t i = 0; i + 1 < c.entries; ++i) tracer->Message(u"x");
        ASSERT_TRUE(test::WaitUntil([&] { return c.waitsBeforeTheLast(*tracer); }, 10s))
            << "the thread was not waiting within 10 s, before " << c.when;
        tracer->Message(u"x");
        if (c.endTracer) tracer.reset();
        ASSERT_TRUE(sent.WaitFor(1)) << "no batch at " << c.when << " within 10 s";
        EXPECT_EQ(sent.Texts(0).size(), c.entries) << c.when;
    }
}

// A server that never answers (a hung server, or one whose start shows a
// message box) holds Flush and Close for their bounds only: what waits and
// what is out count as dropped, and once the call returns the thread sends
// nothing more.
TEST(TracerTest, AServerThatNeverAnswersHoldsFlushAndCloseOnlyForTheirBounds) {
    const struct {
        const char* hanging;
        bool holdBegin;
        size_t batchesSent;
    } cases[] = {{"the session's open", true, 0}, {"a batch's call", false, 1}};
    for (const auto& c : cases) {
        TSent sent;
        sent.held = true;
        sent.holdBegin = c.holdBegin;
        Tracer tracer(std::make_unique<TRecordingLink>(sent), {1u << 20, 1h, 1});
        tracer.Message(u"out");
        if (c.batchesSent != 0) {
            ASSERT_TRUE(sent.WaitFor(1)) << "no batch reached the link within 10 s";
        }
        tracer.Message(u"waits");
        tracer.Message(u"waits too");
        EXPECT_FALSE(tracer.Flush(10ms)) << c.hanging;
        EXPECT_FALSE(tracer.Close(10ms)) << c.hanging;
        EXPECT_EQ(tracer.Dropped(), 3u) << c.hanging;
        tracer.Message(u"after the close");
        EXPECT_TRUE(tracer.Flush(0ms)) << c.hanging << ": nothing made before it still waits";
        sent.Release();
        ASSERT_TRUE(sent.WaitForEnd()) << c.hanging << ": the thread did not end within 10 s of its call's return";
        EXPECT_EQ(tracer.Dropped(), 4u) << c.hanging;
        EXPECT_EQ(tracer.Delivered(), 0u) << c.hanging;
        EXPECT_EQ(sent.batches.size(), c.batchesSent) << c.hanging;
    }
}

// Events: F an open failed, L the session was lost, O an open succeeded; then
// the policy is asked `after` the last of them.
TEST(TracerTest, ALinkOpensAgainOnlyWhileNorvaleServesAfterAPauseThatDoublesUpToAMinute) {
    const struct {
        const char* events;
        std::chrono::milliseconds after;
        bool serving;
        bool due;
        std::chrono::milliseconds pause;
    } cases[] = {
        {"", 0ms, false, true, 0ms},  // the first open may start Norvale
        {"F", 1999ms, true, false, 2s},   {"F", 2s, true, true, 2s},       {"F", 2s, false, false, 2s},
        {"FF", 3999ms, true, false, 4s},  {"FF", 4s, true, true, 4s},      {"FFFFF", 32s, true, true, 32s},
        {"FFFFFF", 59999ms, true, false, 60s}, {"FFFFFF", 60s, true, true, 60s}, {"FFFFFFF", 60s, true, true, 60s},
        {"L", 1999ms, true, false, 2s},   {"L", 2s, true, true, 2s},       {"L", 2s, false, false, 2s},
        {"LF", 4s, true, true, 4s},       {"FFFO", 0ms, false, true, 0ms}, {"FFFOF", 2s, true, true, 2s},
    };
    const auto start = TReopenPolicy::TClock::time_point{} + 1h;
    for (const auto& c : cases) {
        TReopenPolicy policy;
        for (const char* event = c.events; *event != 0; ++event) {
            if (*event == 'F') policy.Failed(start);
            if (*event == 'L') policy.Lost(start);
            if (*event == 'O') policy.Opened();
        }
        const std::string row = std::string(c.events) + " then " + std::to_string(c.after.count()) + " ms" +
                                (c.serving ? ", serving" : "");
        EXPECT_EQ(policy.Due(start + c.after, [&] { return c.serving; }), c.due) << row;
        EXPECT_EQ(policy.Pause(), c.pause) << row;
    }
}

#ifdef _WIN32
// A session that writes down each call. One of a server older than the batch
// interface takes single calls; one with it answers each batch with
// `batchAnswer`.
class TRecordingSession final : public IDebugSession2 {
public:
    explicit TRecordingSession(bool takesBatches = false, HRESULT batchAnswer = S_OK)
        : takesBatches_(takesBatches), batchAnswer_(batchAnswer) {}

    std::vector<std::wstring> calls;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDebugSession ||
                          (takesBatches_ && iid == IID_IDebugSession2)
                      ? this
                      : nullptr;
        if (*object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddMessage(long thread, long code, BSTR text) override {
        return Call(L"AddMessage", thread, code, text);
    }
    HRESULT STDMETHODCALLTYPE AddClassMessage(long thread, BSTR cls, long code, BSTR text) override {
        return Call(L"AddClassMessage", thread, code, std::wstring(cls) + L"|" + text);
    }
    HRESULT STDMETHODCALLTYPE CloseSession() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EnterMethod(long thread, BSTR text) override { return Call(L"EnterMethod", thread, 0, text); }
    HRESULT STDMETHODCALLTYPE ExitMethod(long thread, BSTR text) override { return Call(L"ExitMethod", thread, 0, text); }
    HRESULT STDMETHODCALLTYPE AddStrings(long thread, long code, BSTR text, BSTR data) override {
        return Call(L"AddStrings", thread, code, std::wstring(text) + L"|" + data);
    }
    HRESULT STDMETHODCALLTYPE AddBinary(long thread, long code, BSTR text, VARIANT data) override {
        const SAFEARRAY* bytes = V_ARRAY(&data);
        const auto* first = static_cast<const unsigned char*>(bytes->pvData);
        return Call(L"AddBinary", thread, code, std::wstring(text) + L"|" + std::wstring(first, first + bytes->rgsabound[0].cElements));
    }
    HRESULT STDMETHODCALLTYPE AddEntries(VARIANT) override {
        calls.push_back(L"AddEntries");
        return batchAnswer_;
    }

private:
    HRESULT Call(const wchar_t* name, long thread, long code, const std::wstring& texts) {
        calls.push_back(std::wstring(name) + L" " + std::to_wstring(thread) + L" " + std::to_wstring(code) + L" " + texts);
        return S_OK;
    }
    const bool takesBatches_;
    const HRESULT batchAnswer_;
    ULONG references_ = 1;
};

TEST(TracerTest, AServerWithoutTheBatchInterfaceGetsEveryKindAsItsSingleCall) {
    TRecordingSession session;
    {
        Tracer tracer(std::make_unique<TComTracerLink>([&](IUnknown*&) -> IDebugSession* {
            session.AddRef();
            return &session;
        }));
        tracer.Message(L"m", 1);
        tracer.ClassMessage(L"TC", L"cm", 2);
        { TTracerMethod method(tracer, L"Post"); }
        tracer.Strings(L"s", L"a\r\nb", 3);
        tracer.Binary(L"bin", "AB", 2, 4);
    }
    const std::wstring thread = std::to_wstring(CurrentThreadId());
    EXPECT_EQ(session.calls, (std::vector<std::wstring>{
                                 L"AddMessage " + thread + L" 1 m", L"AddClassMessage " + thread + L" 2 TC|cm",
                                 L"EnterMethod " + thread + L" 0 Post", L"ExitMethod " + thread + L" 0 Post",
                                 L"AddStrings " + thread + L" 3 s|a\r\nb", L"AddBinary " + thread + L" 4 bin|AB"}));
}

// A batch counts as delivered only when the server answers it with success.
TEST(TracerTest, ABatchTheServerAnswersWithAFailureCountsAsDropped) {
    const struct {
        HRESULT answer;
        const char* meaning;
        uint64_t delivered;
    } cases[] = {{S_OK, "taken", 2},
                 {E_INVALIDARG, "a batch it cannot read, or an entry whose time it cannot make local", 0},
                 {E_OUTOFMEMORY, "any other failure, as this side's for a batch it could not make", 0},
                 {RPC_E_DISCONNECTED, "lost on the way", 0}};
    for (const auto& c : cases) {
        TRecordingSession session(true, c.answer);
        {
            Tracer tracer(std::make_unique<TComTracerLink>([&](IUnknown*&) -> IDebugSession* {
                session.AddRef();
                return &session;
            }));
            tracer.Message(L"a");
            tracer.Message(L"b");
            EXPECT_TRUE(tracer.Flush()) << c.meaning;
            EXPECT_EQ(tracer.Delivered(), c.delivered) << c.meaning;
            EXPECT_EQ(tracer.Dropped(), 2 - c.delivered) << c.meaning;
        }
        EXPECT_EQ(session.calls, std::vector<std::wstring>{L"AddEntries"}) << c.meaning;
    }
}

// The pauses are 0 here; their lengths are the policy's, above.
TEST(TracerTest, AfterAFailedOpenTheLinkOpensAgainOnlyWhileNorvaleServes) {
    const auto serving = [] { return bool(UniqueHandle(OpenEventA(SYNCHRONIZE, FALSE, kNorvaleServingEvent))); };
    ASSERT_FALSE(serving()) << "a Norvale process offers its class: this test needs none";
    std::atomic<int> opens{0};
    const auto failing = [&](IUnknown*&) -> IDebugSession* { return ++opens, nullptr; };
    Tracer tracer(std::make_unique<TComTracerLink>(failing, TReopenPolicy(0ms, 0ms)));
    tracer.Message(L"no Norvale");
    EXPECT_TRUE(tracer.Flush());
    EXPECT_EQ(opens, 1) << "opened again while no Norvale served";
    const UniqueHandle offered(CreateEventA(nullptr, TRUE, TRUE, kNorvaleServingEvent));
    tracer.Message(L"Norvale serves");
    EXPECT_TRUE(tracer.Flush());
    EXPECT_EQ(opens, 2) << "not opened again while a Norvale served";
}

// A tracer that lives in a DLL (tests/tools/test_tracer_dll.cpp, its tracer
// made and ended under the loader's lock), fed and freed by a host process
// that checks what it sees and exits: whatever its thread does, the host ends
// with 0 and says nothing.
TEST(TracerTest, ATracerInADllNeverHoldsItsHostsEnd) {
    for (const char* way : {"closed", "freed", "freed-while-a-call-hangs", "closed-while-a-call-hangs",
                            "closed-while-a-call-hangs-until-freed"}) {
        const test::ScratchDirectory dir;
        const std::string output = dir.PathOf("host.txt");
        int64_t exitCode = -1;
        {
            test::ChildProcess host("\"" + test::BinDirectory() + "norvale_test_helper.exe\" tracer-dll " + way, output);
            exitCode = host.WaitForExit(30000);
        }
        EXPECT_EQ(exitCode, 0) << way << ": the host did not end with 0 within 30 s (-1: ended at the time-out)";
        EXPECT_EQ(test::ReadWholeFile(output), "") << way;
    }
}
#endif

}  // namespace
}  // namespace norvale
