// The tracer's buffer and thread against a link that records what it is sent:
// every kind in its order, what is dropped and how it is reported, and when a
// batch goes.

#include <gtest/gtest.h>

#include <norvale/tracer.h>

#include <deque>

namespace norvale {
namespace {

using namespace std::chrono_literals;
using Kind = TBatchWriter::Kind;
using Result = TTracerLink::TResult;

struct TSent {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::vector<TBatchWriter::TEntry>> batches;
    std::deque<Result> answers;  // then Delivered

    // Bounded: whether this many batches came within 10 s.
    bool WaitFor(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, 10s, [&] { return batches.size() >= count; });
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
    TResult Send(const TBatchWriter& batch) override {
        std::lock_guard<std::mutex> lock(sent_.mutex);
        sent_.batches.emplace_back();
        batch.ForEachEntry([&](const TBatchWriter::TEntry& entry) { sent_.batches.back().push_back(entry); });
        sent_.arrived.notify_all();
        if (sent_.answers.empty()) return TResult::Delivered;
        const Result answer = sent_.answers.front();
        sent_.answers.pop_front();
        return answer;
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
        tracer.Flush();
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

TEST(TracerTest, ABatchGoesAfterItsIntervalAtItsEntryBoundAndAtTheEnd) {
    const struct {
        const char* when;
        TTracerOptions options;
        size_t entries;
        bool endTracer;
    } cases[] = {{"the interval after one entry", {1u << 20, 10ms, 1000}, 1, false},
                 {"the entry bound", {1u << 20, 1h, 3}, 3, false},
                 {"the tracer's end", {1u << 20, 1h, 1000}, 2, true}};
    for (const auto& c : cases) {
        TSent sent;
        auto tracer = std::make_unique<Tracer>(std::make_unique<TRecordingLink>(sent), c.options);
        for (size_t i = 0; i < c.entries; ++i) tracer->Message(u"x");
        if (c.endTracer) tracer.reset();
        ASSERT_TRUE(sent.WaitFor(1)) << "no batch at " << c.when << " within 10 s";
        EXPECT_EQ(sent.Texts(0).size(), c.entries) << c.when;
    }
}

#ifdef _WIN32
// A session of a server older than the batch interface: it takes single
// calls, and writes down each.
class TSingleCallSession final : public IDebugSession {
public:
    std::vector<std::wstring> calls;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IDebugSession ? this : nullptr;
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

private:
    HRESULT Call(const wchar_t* name, long thread, long code, const std::wstring& texts) {
        calls.push_back(std::wstring(name) + L" " + std::to_wstring(thread) + L" " + std::to_wstring(code) + L" " + texts);
        return S_OK;
    }
    ULONG references_ = 1;
};

TEST(TracerTest, AServerWithoutTheBatchInterfaceGetsEveryKindAsItsSingleCall) {
    TSingleCallSession session;
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
#endif

}  // namespace
}  // namespace norvale
