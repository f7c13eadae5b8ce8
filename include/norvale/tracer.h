#pragma once

// Norvale's C++ client header. Header only, C++17.
//
// Tracer is the client most programs want: it sends from a thread of its own,
// so a trace line costs the calling thread about a microsecond and never a
// round trip to the server:
//
//     norvale::Tracer tracer(L"Billing", L"Core");
//     tracer.Message(L"Posting done");
//     {
//         norvale::TTracerMethod method(tracer, L"Post");   // entry now, exit at its end
//         tracer.Binary(L"Header", bytes.data(), bytes.size());
//     }
//
// On Windows it opens its session through COM and needs the generated
// <norvale/Norvale_h.h> and Norvale_i.c; the buffer and its sending thread
// need nothing beyond the standard library, given a TTracerLink to send
// through.
//
// TBatchWriter lays out the entries that IDebugSession2::AddEntries takes in
// one byte array (docs/clients.md, "Sending many entries in one call"):
//
//     norvale::TBatchWriter batch;
//     batch.Message(GetCurrentThreadId(), 0, NowAsFileTime(), L"Posting done");
//     batch.EnterMethod(GetCurrentThreadId(), NowAsFileTime(), L"Post");
//     // batch.Bytes() into a SAFEARRAY of VT_UI1, then session2->AddEntries(that)
//
// Times are the client's UTC times in 100 ns units since 1601-01-01, as a
// FILETIME holds them. The writer needs nothing beyond the standard library.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <initializer_list>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <norvale/Norvale_h.h>
#endif

namespace norvale {

// UTF-16 text as the format carries it: from char16_t, or from wchar_t where
// wchar_t is 16 bits wide (Windows).
class TUtf16Text {
public:
    TUtf16Text(std::u16string_view text) : units_(text.data()), size_(text.size()) {}
    TUtf16Text(const std::u16string& text) : TUtf16Text(std::u16string_view(text)) {}
    TUtf16Text(const char16_t* text) : TUtf16Text(std::u16string_view(text)) {}
#if WCHAR_MAX <= 0xFFFF
    TUtf16Text(std::wstring_view text) : units_(text.data()), size_(text.size()) {}
    TUtf16Text(const std::wstring& text) : TUtf16Text(std::wstring_view(text)) {}
    TUtf16Text(const wchar_t* text) : TUtf16Text(std::wstring_view(text)) {}
#endif

    size_t size() const { return size_; }
    std::u16string ToString() const {
        std::u16string text(size_, u'\0');
        if (size_ != 0) std::memcpy(&text[0], units_, size_ * 2);
        return text;
    }
    uint16_t operator[](size_t index) const {
        uint16_t unit = 0;
        std::memcpy(&unit, static_cast<const unsigned char*>(units_) + index * 2, 2);
        return unit;
    }

private:
    const void* units_;
    size_t size_;
};

class TBatchWriter {
public:
    static constexpr uint16_t kVersion = 1;

    enum class Kind : uint8_t { Message = 1, ClassMessage = 2, EnterMethod = 3, ExitMethod = 4, Strings = 5, Binary = 6 };

    TBatchWriter() { Clear(); }

    void Message(int32_t threadId, int32_t code, uint64_t time, TUtf16Text text) {
        Head(Kind::Message, threadId, code, time);
        Text(text);
        ++count_;
    }
    void ClassMessage(int32_t threadId, int32_t code, uint64_t time, TUtf16Text className, TUtf16Text text) {
        Head(Kind::ClassMessage, threadId, code, time);
        Text(className);
        Text(text);
        ++count_;
    }
    // Method entry and exit carry no code, as the single calls do.
    void EnterMethod(int32_t threadId, uint64_t time, TUtf16Text text) {
        Head(Kind::EnterMethod, threadId, 0, time);
        Text(text);
        ++count_;
    }
    void ExitMethod(int32_t threadId, uint64_t time, TUtf16Text text) {
        Head(Kind::ExitMethod, threadId, 0, time);
        Text(text);
        ++count_;
    }
    void Strings(int32_t threadId, int32_t code, uint64_t time, TUtf16Text text, TUtf16Text data) {
        Head(Kind::Strings, threadId, code, time);
        Text(text);
        Text(data);
        ++count_;
    }
    void Binary(int32_t threadId, int32_t code, uint64_t time, TUtf16Text text, const void* data, size_t size) {
        Head(Kind::Binary, threadId, code, time);
        Text(text);
        Count(size);
        const auto* bytes = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), bytes, bytes + size);
        ++count_;
    }

    // Takes back what an entry that failed half-way left after this many bytes.
    void Truncate(size_t size) { bytes_.resize(size); }

    // Another batch's entries after this one's.
    void Append(const TBatchWriter& other) {
        bytes_.insert(bytes_.end(), other.bytes_.begin() + kHeaderSize, other.bytes_.end());
        count_ += other.count_;
    }

    // The batch so far, header included.
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    size_t EntryCount() const { return count_; }
    // Starts an empty batch; the memory is kept for the next one.
    void Clear() {
        bytes_.clear();
        count_ = 0;
        Unsigned(kVersion, 2);
        Unsigned(0, 2);
    }

    static constexpr size_t kHeaderSize = 4;

    // The bytes an entry of this many fields, of these sizes in bytes, takes.
    static size_t EntrySize(std::initializer_list<size_t> fieldBytes) {
        size_t size = kEntryHeadSize;
        for (size_t bytes : fieldBytes) size += 4 + bytes;
        return size;
    }

    // An entry as this writer laid it out, for a server that takes single calls.
    struct TEntry {
        Kind kind;
        int32_t threadId;
        int32_t code;
        uint64_t time;
        std::u16string text;
        std::u16string second;  // the class, or the strings' data
        std::vector<uint8_t> data;
    };
    template <class Visit>
    void ForEachEntry(Visit&& visit) const {
        size_t at = kHeaderSize;
        while (at < bytes_.size()) {
            TEntry entry{static_cast<Kind>(bytes_[at]), static_cast<int32_t>(Read(at + 4, 4)),
                         static_cast<int32_t>(Read(at + 8, 4)), Read(at + 12, 8), {}, {}, {}};
            at += kEntryHeadSize;
            if (entry.kind == Kind::ClassMessage) entry.second = ReadText(at);
            entry.text = ReadText(at);
            if (entry.kind == Kind::Strings) entry.second = ReadText(at);
            if (entry.kind == Kind::Binary) {
                const size_t size = Read(at, 4);
                entry.data.assign(bytes_.begin() + at + 4, bytes_.begin() + at + 4 + size);
                at += 4 + size;
            }
            visit(entry);
        }
    }

private:
    static constexpr size_t kEntryHeadSize = 20;

    uint64_t Read(size_t at, int size) const {
        uint64_t value = 0;
        for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes_[at + i];
        return value;
    }
    std::u16string ReadText(size_t& at) const {
        const size_t units = Read(at, 4);
        std::u16string text(units, u'\0');
        for (size_t i = 0; i < units; ++i) text[i] = static_cast<char16_t>(Read(at + 4 + 2 * i, 2));
        at += 4 + 2 * units;
        return text;
    }

    void Unsigned(uint64_t value, int size) {
        for (int i = 0; i < size; ++i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void Head(Kind kind, int32_t threadId, int32_t code, uint64_t time) {
        bytes_.push_back(static_cast<uint8_t>(kind));
        Unsigned(0, 3);
        Unsigned(static_cast<uint32_t>(threadId), 4);
        Unsigned(static_cast<uint32_t>(code), 4);
        Unsigned(time, 8);
    }
    // A longer text or block than a count can say is cut at the count's end.
    void Count(size_t& size) {
        if (size > UINT32_MAX) size = UINT32_MAX;
        Unsigned(size, 4);
    }
    void Text(TUtf16Text text) {
        size_t size = text.size();
        Count(size);
        for (size_t i = 0; i < size; ++i) Unsigned(text[i], 2);
    }

    std::vector<uint8_t> bytes_;
    size_t count_ = 0;
};

// The current UTC time as the format carries it.
inline uint64_t FileTimeNow() {
    // The system clock counts from 1970-01-01 on every platform this builds on.
    constexpr uint64_t k1601To1970 = 116444736000000000ull;
    const auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    return k1601To1970 + static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count() / 100);
}

// The calling thread's id as a trace line shows it.
inline int32_t CurrentThreadId() {
#ifdef _WIN32
    return static_cast<int32_t>(GetCurrentThreadId());
#else
    static std::atomic<int32_t> last{0};
    thread_local const int32_t id = ++last;
    return id;
#endif
}

// What a tracer's thread sends its batches through. Every call comes on that
// thread: Begin first, End last.
class TTracerLink {
public:
    enum class TResult {
        Delivered,    // the server took the batch, whatever its outputs made of it
        Refused,      // the server read the batch and took none of it
        Unreachable,  // no session, or it was lost on the way
    };
    virtual ~TTracerLink() = default;
    virtual void Begin() {}
    virtual TResult Send(const TBatchWriter& batch) = 0;
    virtual void End() {}
};

struct TTracerOptions {
    size_t bufferBytes = 8u << 20;  // of entries waiting; a full buffer drops the newest
    std::chrono::milliseconds sendEvery{20};
    size_t sendAtEntries = 1000;  // sends sooner when this many wait
};

// Keeps the entries of any thread in a bounded buffer and sends them from a
// thread of its own: a caller never waits on the server, and an entry that
// cannot be kept or sent is dropped and counted, never waited for.
class Tracer {
public:
    explicit Tracer(std::unique_ptr<TTracerLink> link, TTracerOptions options = {})
        : link_(std::move(link)), options_(options), sender_([this] { Run(); }) {}
#ifdef _WIN32
    // A session of this project, module and class, named by this machine and
    // process, opened on the tracer's own thread.
    Tracer(std::wstring_view project, std::wstring_view module, std::wstring_view className = {},
           TTracerOptions options = {});
#endif
    Tracer(const Tracer&) = delete;
    Tracer& operator=(const Tracer&) = delete;

    // Sends what waits, then ends the thread.
    ~Tracer() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        sender_.join();
    }

    void Message(TUtf16Text text, int32_t code = 0) noexcept {
        Keep(TBatchWriter::EntrySize({Bytes(text)}), [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
            batch.Message(thread, code, time, text);
        });
    }
    void ClassMessage(TUtf16Text className, TUtf16Text text, int32_t code = 0) noexcept {
        Keep(TBatchWriter::EntrySize({Bytes(className), Bytes(text)}),
             [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
                 batch.ClassMessage(thread, code, time, className, text);
             });
    }
    void Enter(TUtf16Text text) noexcept {
        Keep(TBatchWriter::EntrySize({Bytes(text)}), [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
            batch.EnterMethod(thread, time, text);
        });
    }
    void Exit(TUtf16Text text) noexcept {
        Keep(TBatchWriter::EntrySize({Bytes(text)}), [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
            batch.ExitMethod(thread, time, text);
        });
    }
    void Strings(TUtf16Text text, TUtf16Text data, int32_t code = 0) noexcept {
        Keep(TBatchWriter::EntrySize({Bytes(text), Bytes(data)}),
             [&](TBatchWriter& batch, int32_t thread, uint64_t time) { batch.Strings(thread, code, time, text, data); });
    }
    void Binary(TUtf16Text text, const void* data, size_t size, int32_t code = 0) noexcept {
        Keep(TBatchWriter::EntrySize({Bytes(text), size}), [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
            batch.Binary(thread, code, time, text, data, size);
        });
    }

    // Returns once every entry made before the call was sent or dropped.
    void Flush() {
        std::unique_lock<std::mutex> lock(mutex_);
        const uint64_t ticket = ++flushAsked_;
        wake_.notify_one();
        flushed_.wait(lock, [&] { return flushDone_ >= ticket; });
    }

    // Entries dropped so far: by a full buffer, or in a batch that did not
    // reach the server or that it refused.
    uint64_t Dropped() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return dropped_;
    }
    uint64_t Delivered() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return delivered_;
    }

private:
    static size_t Bytes(TUtf16Text text) { return text.size() * 2; }

    template <class Write>
    void Keep(size_t size, Write&& write) noexcept {
        const int32_t thread = CurrentThreadId();
        const uint64_t time = FileTimeNow();
        std::lock_guard<std::mutex> lock(mutex_);
        const size_t before = waiting_.Bytes().size();
        if (before - TBatchWriter::kHeaderSize + size > options_.bufferBytes) {
            Drop(1);
            return;
        }
        try {
            write(waiting_, thread, time);
        } catch (...) {
            // Out of memory: the entry is dropped like one that does not fit.
            waiting_.Truncate(before);
            Drop(1);
            return;
        }
        // The first entry starts the batch's time; a full batch goes at once.
        if (waiting_.EntryCount() == 1 || waiting_.EntryCount() == options_.sendAtEntries) wake_.notify_one();
    }

    // Under the lock.
    void Drop(uint64_t entries) {
        dropped_ += entries;
        unreported_ += entries;
    }

    void Run() {
        link_->Begin();
        TBatchWriter taken;
        TBatchWriter sent;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || flushAsked_ > flushDone_ || waiting_.EntryCount() != 0; });
            const auto due = std::chrono::steady_clock::now() + options_.sendEvery;
            wake_.wait_until(lock, due, [&] {
                return stopping_ || flushAsked_ > flushDone_ || waiting_.EntryCount() >= options_.sendAtEntries;
            });
            std::swap(taken, waiting_);
            waiting_.Clear();
            const uint64_t asked = flushAsked_;
            const bool stop = stopping_;
            const uint64_t unreported = unreported_;
            lock.unlock();
            const TTracerLink::TResult result = taken.EntryCount() == 0 ? TTracerLink::TResult::Delivered
                                                                         : Send(taken, unreported, sent);
            lock.lock();
            if (taken.EntryCount() != 0) {
                if (result == TTracerLink::TResult::Delivered) {
                    delivered_ += taken.EntryCount();
                    unreported_ -= unreported;
                } else {
                    Drop(taken.EntryCount());
                }
            }
            flushDone_ = asked;
            flushed_.notify_all();
            if (stop) break;
        }
        lock.unlock();
        link_->End();
    }

    // Not under the lock. The first batch after drops says how many.
    TTracerLink::TResult Send(const TBatchWriter& taken, uint64_t unreported, TBatchWriter& sent) noexcept try {
        if (unreported == 0) return link_->Send(taken);
        const std::string count = std::to_string(unreported);
        std::u16string note = u"Norvale tracer: ";
        note.append(count.begin(), count.end());
        note += u" entries dropped";
        sent.Clear();
        sent.Message(CurrentThreadId(), 0, FileTimeNow(), note);
        sent.Append(taken);
        return link_->Send(sent);
    } catch (...) {
        return TTracerLink::TResult::Unreachable;  // out of memory on the way
    }

    std::unique_ptr<TTracerLink> link_;
    const TTracerOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable flushed_;
    TBatchWriter waiting_;
    bool stopping_ = false;
    uint64_t flushAsked_ = 0;
    uint64_t flushDone_ = 0;
    uint64_t dropped_ = 0;
    uint64_t unreported_ = 0;
    uint64_t delivered_ = 0;
    std::thread sender_;  // last: it starts once everything it uses is there
};

// Sends a method's entry now and its exit when it goes out of scope.
class TTracerMethod {
public:
    TTracerMethod(Tracer& tracer, TUtf16Text method) : tracer_(tracer), method_(method.ToString()) {
        tracer_.Enter(method_);
    }
    ~TTracerMethod() { tracer_.Exit(method_); }
    TTracerMethod(const TTracerMethod&) = delete;
    TTracerMethod& operator=(const TTracerMethod&) = delete;

private:
    Tracer& tracer_;
    std::u16string method_;
};

#ifdef _WIN32
// The named event that exists while a Norvale process offers its class.
inline constexpr const char* kNorvaleServingEvent = "brantwick Norvale Serving";

// Opens a session on the tracer's thread, in its multithreaded apartment:
// gives it with a reference, or null, and through `server` (with a reference,
// or null) the object that must live as long as the session writes: a
// session of a released server object takes calls and writes nothing.
using TSessionOpener = std::function<IDebugSession*(IUnknown*& server)>;

// A session of this project, module and class, named by this machine and
// process, on the Norvale server.
inline TSessionOpener OpenNorvaleSession(std::wstring project, std::wstring module, std::wstring className) {
    return [project, module, className](IUnknown*& server) -> IDebugSession* {
        INorvale* norvale = nullptr;
        if (FAILED(CoCreateInstance(CLSID_Norvale, nullptr, CLSCTX_LOCAL_SERVER, IID_INorvale,
                                    reinterpret_cast<void**>(&norvale)))) {
            return nullptr;
        }
        wchar_t machine[MAX_COMPUTERNAME_LENGTH + 1] = L"";
        DWORD machineSize = MAX_COMPUTERNAME_LENGTH + 1;
        if (!GetComputerNameW(machine, &machineSize)) machine[0] = L'\0';
        IDebugSession* session = nullptr;
        BSTR texts[] = {SysAllocString(project.c_str()), SysAllocString(module.c_str()),
                        SysAllocString(className.c_str()), SysAllocString(machine)};
        norvale->OpenSessionEx(texts[0], texts[1], texts[2], texts[3], static_cast<long>(GetCurrentProcessId()),
                               &session);
        for (BSTR text : texts) SysFreeString(text);
        server = norvale;
        return session;
    };
}

// The tracer's session: joins the multithreaded apartment on the tracer's
// thread, sends each batch in one AddEntries, or entry by entry to a server
// without IDebugSession2.
class TComTracerLink : public TTracerLink {
public:
    explicit TComTracerLink(TSessionOpener open) : open_(std::move(open)) {}

    void Begin() override {
        initialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        Open();
    }
    void End() override {
        Close();
        if (initialized_) CoUninitialize();
    }

    TResult Send(const TBatchWriter& batch) override {
        if (session_ == nullptr && !Reopen()) return TResult::Unreachable;
        const HRESULT result = session2_ != nullptr ? SendBatch(batch) : SendSingly(batch);
        if (SUCCEEDED(result)) return TResult::Delivered;
        if (result == E_INVALIDARG) return TResult::Refused;
        if (!Lost(result)) return TResult::Delivered;  // taken; an output of the server failed
        Close();
        lost_ = true;
        lastOpen_ = std::chrono::steady_clock::now();
        return TResult::Unreachable;
    }

private:
    static constexpr std::chrono::seconds kReopenPause{2};

    // Tries again at most every two seconds. After a session was lost, only
    // a server that runs is reached: activating one would start Norvale again
    // when the user has just ended it.
    bool Reopen() {
        if (std::chrono::steady_clock::now() - lastOpen_ < kReopenPause) return false;
        if (lost_) {
            HANDLE serving = OpenEventA(SYNCHRONIZE, FALSE, kNorvaleServingEvent);
            if (serving == nullptr) return false;
            CloseHandle(serving);
        }
        return Open();
    }

    // The failures of the call's way to the server rather than of the server.
    static bool Lost(HRESULT result) {
        const int facility = HRESULT_FACILITY(result);
        const int code = HRESULT_CODE(result);
        return facility == FACILITY_RPC || result == CO_E_OBJNOTCONNECTED ||
               (facility == FACILITY_WIN32 && code >= RPC_S_INVALID_STRING_BINDING && code <= RPC_X_BAD_STUB_DATA);
    }

    class TBstr {
    public:
        explicit TBstr(const std::u16string& text)
            : text_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()))) {}
        ~TBstr() { SysFreeString(text_); }
        TBstr(const TBstr&) = delete;
        TBstr& operator=(const TBstr&) = delete;
        operator BSTR() const { return text_; }

    private:
        BSTR text_;
    };

    // A VARIANT of a byte array, freed with it.
    class TByteArray {
    public:
        TByteArray(const uint8_t* bytes, size_t size) {
            VariantInit(&value_);
            SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
            if (array == nullptr) return;
            void* data = nullptr;
            if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
                if (size != 0) std::memcpy(data, bytes, size);
                SafeArrayUnaccessData(array);
            }
            V_VT(&value_) = VT_ARRAY | VT_UI1;
            V_ARRAY(&value_) = array;
        }
        ~TByteArray() { VariantClear(&value_); }
        TByteArray(const TByteArray&) = delete;
        TByteArray& operator=(const TByteArray&) = delete;
        bool Made() const { return V_VT(&value_) != VT_EMPTY; }
        const VARIANT& Value() const { return value_; }

    private:
        VARIANT value_;
    };

    bool Open() {
        lastOpen_ = std::chrono::steady_clock::now();
        session_ = open_(server_);
        if (session_ == nullptr) {
            Close();
            return false;
        }
        session_->QueryInterface(IID_IDebugSession2, reinterpret_cast<void**>(&session2_));
        return true;
    }
    void Close() {
        if (session2_ != nullptr) session2_->Release();
        if (session_ != nullptr) session_->Release();
        if (server_ != nullptr) server_->Release();
        session2_ = nullptr;
        session_ = nullptr;
        server_ = nullptr;
    }

    HRESULT SendBatch(const TBatchWriter& batch) {
        TByteArray entries(batch.Bytes().data(), batch.Bytes().size());
        return entries.Made() ? session2_->AddEntries(entries.Value()) : E_OUTOFMEMORY;
    }
    // Every entry is tried; the first failure is the batch's.
    HRESULT SendSingly(const TBatchWriter& batch) {
        HRESULT first = S_OK;
        batch.ForEachEntry([&](const TBatchWriter::TEntry& entry) {
            if (Lost(first)) return;
            const long thread = entry.threadId;
            const long code = entry.code;
            HRESULT result = S_OK;
            switch (entry.kind) {
            case TBatchWriter::Kind::Message: result = session_->AddMessage(thread, code, TBstr(entry.text)); break;
            case TBatchWriter::Kind::ClassMessage:
                result = session_->AddClassMessage(thread, TBstr(entry.second), code, TBstr(entry.text));
                break;
            case TBatchWriter::Kind::EnterMethod: result = session_->EnterMethod(thread, TBstr(entry.text)); break;
            case TBatchWriter::Kind::ExitMethod: result = session_->ExitMethod(thread, TBstr(entry.text)); break;
            case TBatchWriter::Kind::Strings:
                result = session_->AddStrings(thread, code, TBstr(entry.text), TBstr(entry.second));
                break;
            case TBatchWriter::Kind::Binary: {
                TByteArray data(entry.data.data(), entry.data.size());
                result = data.Made() ? session_->AddBinary(thread, code, TBstr(entry.text), data.Value()) : E_OUTOFMEMORY;
                break;
            }
            }
            if (SUCCEEDED(first)) first = result;
        });
        return first;
    }

    const TSessionOpener open_;
    bool initialized_ = false;
    IUnknown* server_ = nullptr;
    IDebugSession* session_ = nullptr;
    IDebugSession2* session2_ = nullptr;
    std::chrono::steady_clock::time_point lastOpen_{};
    bool lost_ = false;
};

inline Tracer::Tracer(std::wstring_view project, std::wstring_view module, std::wstring_view className,
                      TTracerOptions options)
    : Tracer(std::make_unique<TComTracerLink>(OpenNorvaleSession(std::wstring(project), std::wstring(module),
                                                                 std::wstring(className))),
             options) {}
#endif

}  // namespace norvale
