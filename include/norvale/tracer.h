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
// Nothing in it waits for the server without a bound: Flush(timeout) says
// whether everything was sent in time, and the tracer's end gives what waits
// 2 s at most. A tracer that lives in a DLL is closed with Close() before the
// DLL is freed (docs/clients.md, "A tracer in a DLL").
//
// On Windows it opens its session through COM and needs the generated
// <norvale/Norvale_h.h> and Norvale_i.c, and a standard library with threads:
// MSVC with /std:c++17, or mingw-w64's posix-threads g++
// (x86_64-w64-mingw32-g++-posix); the README gives the command lines. The
// buffer and its sending thread need nothing beyond the standard library,
// given a TTracerLink to send through.
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

#include <cstddef>

// libstdc++ without its thread layer (Debian 12's win32-threads mingw-w64
// g++, for one) has no std::thread or std::mutex: say so once, instead of a
// page of errors from inside this header.
#if defined(__GLIBCXX__) && !defined(_GLIBCXX_HAS_GTHREADS)
#error "norvale/tracer.h needs a C++ standard library with threads (std::thread, std::mutex); this one has none. With mingw-w64, build with the posix-threads compiler, x86_64-w64-mingw32-g++-posix (Debian's x86_64-w64-mingw32-g++ is the win32-threads one)."
#else

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <initializer_list>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
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
        Delivered,    // the server took the batch, and answered with success
        Refused,      // none of it counts as taken: the server answered with a failure, or the batch was never made
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

// When a link opens its session again. The first open may start Norvale.
// After an open failed or a session was lost, a server is asked only while a
// Norvale process offers its class, so that the tracer never starts a Norvale
// the user ended, nor, again and again, one that fails at its start (with a
// message box in the server); and between tries it waits a pause that
// doubles with each failed open, from 2 s up to 60 s.
class TReopenPolicy {
public:
    using TClock = std::chrono::steady_clock;

    explicit TReopenPolicy(std::chrono::milliseconds firstPause = std::chrono::seconds(2),
                           std::chrono::milliseconds longestPause = std::chrono::seconds(60))
        : firstPause_(firstPause), longestPause_(longestPause) {}

    // Whether to open now; `serving()`, whether a Norvale process offers its
    // class, is asked only once the pause is over.
    template <class Serving>
    bool Due(TClock::time_point now, Serving&& serving) const {
        return !waiting_ || (now - since_ >= pause_ && serving());
    }
    void Opened() {
        waiting_ = false;
        pause_ = std::chrono::milliseconds(0);
    }
    void Failed(TClock::time_point now) {
        pause_ = pause_.count() == 0 ? firstPause_ : std::min(pause_ * 2, longestPause_);
        Wait(now);
    }
    void Lost(TClock::time_point now) {
        pause_ = firstPause_;
        Wait(now);
    }
    // Before the next open, after the last failure or loss.
    std::chrono::milliseconds Pause() const { return pause_; }

private:
    void Wait(TClock::time_point now) {
        waiting_ = true;
        since_ = now;
    }

    std::chrono::milliseconds firstPause_;
    std::chrono::milliseconds longestPause_;
    bool waiting_ = false;
    TClock::time_point since_{};
    std::chrono::milliseconds pause_{0};
};

// Keeps the entries of any thread in a bounded buffer and sends them from a
// thread of its own: a caller never waits on the server, and an entry that
// cannot be kept or sent is dropped and counted, never waited for. Flush,
// Close and the end wait for the server a bounded time at most.
class Tracer {
public:
    // What Flush() waits at most, and what the end gives the entries that wait.
    static constexpr std::chrono::milliseconds kFlushTimeout{10000};
    static constexpr std::chrono::milliseconds kEndGrace{2000};

    explicit Tracer(std::unique_ptr<TTracerLink> link, TTracerOptions options = {})
        : core_(std::make_shared<TCore>(std::move(link), options)), sender_(core_) {}
#ifdef _WIN32
    // A session of this project, module and class, named by this machine and
    // process, opened on the tracer's own thread.
    Tracer(std::wstring_view project, std::wstring_view module, std::wstring_view className = {},
           TTracerOptions options = {});
#endif
    Tracer(const Tracer&) = delete;
    Tracer& operator=(const Tracer&) = delete;

    // Close(kEndGrace), unless it was closed before.
    ~Tracer() { Close(kEndGrace); }

    void Message(TUtf16Text text, int32_t code = 0) noexcept {
        core_->Keep(TBatchWriter::EntrySize({Bytes(text)}), [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
            batch.Message(thread, code, time, text);
        });
    }
    void ClassMessage(TUtf16Text className, TUtf16Text text, int32_t code = 0) noexcept {
        core_->Keep(TBatchWriter::EntrySize({Bytes(className), Bytes(text)}),
                    [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
                        batch.ClassMessage(thread, code, time, className, text);
                    });
    }
    void Enter(TUtf16Text text) noexcept {
        core_->Keep(TBatchWriter::EntrySize({Bytes(text)}), [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
            batch.EnterMethod(thread, time, text);
        });
    }
    void Exit(TUtf16Text text) noexcept {
        core_->Keep(TBatchWriter::EntrySize({Bytes(text)}), [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
            batch.ExitMethod(thread, time, text);
        });
    }
    void Strings(TUtf16Text text, TUtf16Text data, int32_t code = 0) noexcept {
        core_->Keep(TBatchWriter::EntrySize({Bytes(text), Bytes(data)}),
                    [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
                        batch.Strings(thread, code, time, text, data);
                    });
    }
    void Binary(TUtf16Text text, const void* data, size_t size, int32_t code = 0) noexcept {
        core_->Keep(TBatchWriter::EntrySize({Bytes(text), size}),
                    [&](TBatchWriter& batch, int32_t thread, uint64_t time) {
                        batch.Binary(thread, code, time, text, data, size);
                    });
    }

    // Waits, at most `timeout`, until every entry made before the call was
    // sent or dropped: false when the timeout came first (those entries
    // still go, later). Dropped() says whether any were dropped.
    bool Flush(std::chrono::milliseconds timeout = kFlushTimeout) { return core_->Flush(timeout); }

    // Sends what waits and ends the tracer's thread, waiting at most
    // `timeout`: true when everything was sent or dropped and the thread
    // ended. When the timeout comes first, what waits and what is on its way
    // count as dropped, and the thread ends by itself once its call returns.
    // An entry made after Close is dropped. A tracer in a DLL is closed before
    // the DLL is freed, from the DLL's own shutdown function, never from
    // DllMain: its thread keeps the DLL loaded until it ends, and an end in
    // DllMain (the loader's lock held) cannot wait for it.
    bool Close(std::chrono::milliseconds timeout = kEndGrace) {
        if (closed_) return closedWhole_;
        closed_ = true;
        // Gone before its loop ended: the process's end ended it, maybe
        // holding the tracer's lock, and this is the loader's end of a DLL.
        if (sender_.Gone() && !core_->Ended()) return false;
        core_->Stop();
        sender_.Wait(*core_, timeout);
        closedWhole_ = core_->GiveUpUnlessEnded();
        sender_.Release(closedWhole_);
        return closedWhole_;
    }

    // Entries dropped so far: by a full buffer, after Close, in a batch that
    // did not reach the server or that it answered with a failure, or left
    // when Close gave up.
    uint64_t Dropped() const { return core_->Dropped(); }
    // Entries of batches that the server took and answered with success.
    uint64_t Delivered() const { return core_->Delivered(); }

private:
    friend struct TTracerProbe;  // a test's view of where the thread is

    enum class TSenderState { Starting, Idle, Gathering, Sending, Ended };

    static size_t Bytes(TUtf16Text text) { return text.size() * 2; }

    // What the tracer and its thread share. The thread holds it too, so that
    // a thread that Close gave up on still finds it when its call returns.
    class TCore {
    public:
        TCore(std::unique_ptr<TTracerLink> link, TTracerOptions options)
            : link_(std::move(link)), options_(options) {}

        template <class Write>
        void Keep(size_t size, Write&& write) noexcept {
            const int32_t thread = CurrentThreadId();
            const uint64_t time = FileTimeNow();
            std::lock_guard<std::mutex> lock(mutex_);
            const size_t before = waiting_.Bytes().size();
            if (stopping_ || before - TBatchWriter::kHeaderSize + size > options_.bufferBytes) {
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

        bool Flush(std::chrono::milliseconds timeout) {
            std::unique_lock<std::mutex> lock(mutex_);
            const uint64_t ticket = ++flushAsked_;
            wake_.notify_one();
            return flushed_.wait_for(lock, timeout, [&] { return flushDone_ >= ticket || ended_ || abandoned_; });
        }

        void Stop() {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            wake_.notify_one();
        }
        void WaitEnded(std::chrono::milliseconds timeout) {
            std::unique_lock<std::mutex> lock(mutex_);
            flushed_.wait_for(lock, timeout, [&] { return ended_.load(); });
        }
        // Whether the thread's loop ended. If not, what waits and what is
        // out count as dropped, and the thread sends nothing more.
        bool GiveUpUnlessEnded() {
            std::lock_guard<std::mutex> lock(mutex_);
            if (ended_) return true;
            Drop(waiting_.EntryCount() + sending_);
            waiting_.Clear();
            abandoned_ = true;
            flushed_.notify_all();
            return false;
        }
        // Read without the lock: a thread the process's end ended may hold it.
        bool Ended() const { return ended_; }

        uint64_t Dropped() const {
            std::lock_guard<std::mutex> lock(mutex_);
            return dropped_;
        }
        uint64_t Delivered() const {
            std::lock_guard<std::mutex> lock(mutex_);
            return delivered_;
        }
        TSenderState State() const {
            std::lock_guard<std::mutex> lock(mutex_);
            return state_;
        }

        void Run() {
            link_->Begin();
            TBatchWriter taken;
            TBatchWriter sent;
            std::unique_lock<std::mutex> lock(mutex_);
            while (!abandoned_) {
                state_ = TSenderState::Idle;
                wake_.wait(lock, [&] { return stopping_ || flushAsked_ > flushDone_ || waiting_.EntryCount() != 0; });
                state_ = TSenderState::Gathering;
                const auto due = std::chrono::steady_clock::now() + options_.sendEvery;
                wake_.wait_until(lock, due, [&] {
                    return stopping_ || flushAsked_ > flushDone_ || waiting_.EntryCount() >= options_.sendAtEntries;
                });
                state_ = TSenderState::Sending;
                std::swap(taken, waiting_);
                waiting_.Clear();
                const uint64_t asked = flushAsked_;
                const bool stop = stopping_;
                const uint64_t unreported = unreported_;
                sending_ = taken.EntryCount();
                lock.unlock();
                const TTracerLink::TResult result = taken.EntryCount() == 0 ? TTracerLink::TResult::Delivered
                                                                             : Send(taken, unreported, sent);
                lock.lock();
                sending_ = 0;
                // Close counted this batch as dropped already.
                if (abandoned_) break;
                if (taken.EntryCount() != 0) {
                    if (result == TTracerLink::TResult::Delivered) {
                        delivered_ += taken.EntryCount();
                        // Only those the note told of: others may have been dropped while the batch was out.
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
            lock.lock();
            state_ = TSenderState::Ended;
            ended_ = true;
            flushed_.notify_all();
        }

    private:
        // Under the lock.
        void Drop(uint64_t entries) {
            dropped_ += entries;
            unreported_ += entries;
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
            return TTracerLink::TResult::Refused;  // out of memory here: the batch was never made
        }

        const std::unique_ptr<TTracerLink> link_;
        const TTracerOptions options_;
        mutable std::mutex mutex_;
        std::condition_variable wake_;
        std::condition_variable flushed_;  // also the thread's end
        TBatchWriter waiting_;
        TSenderState state_ = TSenderState::Starting;
        bool stopping_ = false;
        bool abandoned_ = false;
        std::atomic<bool> ended_{false};
        uint64_t flushAsked_ = 0;
        uint64_t flushDone_ = 0;
        uint64_t sending_ = 0;
        uint64_t dropped_ = 0;
        uint64_t unreported_ = 0;
        uint64_t delivered_ = 0;
    };

#ifdef _WIN32
    // The tracer's thread holds the module of this code while it runs and
    // lets go of it in FreeLibraryAndExitThread, which never returns into the
    // module: a DLL freed before its tracer's thread ends stays loaded until
    // then, so that no code of an unloaded module ever runs. So the end of a
    // DLL's tracer comes in DllMain only after its thread let go, or after
    // the process's end stopped the thread, and Close never waits there for
    // an exit that needs the loader's lock.
    class TSender {
    public:
        explicit TSender(std::shared_ptr<TCore> core) {
            static const char anchor = 0;
            HMODULE module = nullptr;
            if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&anchor),
                                    &module)) {
                throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "GetModuleHandleExW");
            }
            std::unique_ptr<TStart> start(new TStart{std::move(core), module});
            thread_ = CreateThread(nullptr, 0, &Start, start.get(), 0, nullptr);
            if (thread_ == nullptr) {
                const DWORD error = GetLastError();
                FreeLibrary(module);
                throw std::system_error(static_cast<int>(error), std::system_category(), "CreateThread");
            }
            start.release();
        }
        ~TSender() { Release(false); }
        TSender(const TSender&) = delete;
        TSender& operator=(const TSender&) = delete;

        // Ended, by its own end or by the process's.
        bool Gone() const { return thread_ == nullptr || WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0; }
        void Wait(TCore&, std::chrono::milliseconds timeout) const {
            const auto bound = std::min<long long>(std::max<long long>(timeout.count(), 0), INFINITE - 1);
            WaitForSingleObject(thread_, static_cast<DWORD>(bound));
        }
        void Release(bool) {
            if (thread_ != nullptr) CloseHandle(thread_);
            thread_ = nullptr;
        }

    private:
        struct TStart {
            std::shared_ptr<TCore> core;
            HMODULE module;
        };
        static DWORD WINAPI Start(void* parameter) {
            HMODULE module = nullptr;
            {
                const std::unique_ptr<TStart> start(static_cast<TStart*>(parameter));
                module = start->module;
                start->core->Run();
            }
            FreeLibraryAndExitThread(module, 0);
        }

        HANDLE thread_ = nullptr;
    };
#else
    class TSender {
    public:
        explicit TSender(std::shared_ptr<TCore> core) : thread_([core] { core->Run(); }) {}
        ~TSender() { Release(false); }
        TSender(const TSender&) = delete;
        TSender& operator=(const TSender&) = delete;

        bool Gone() const { return false; }
        void Wait(TCore& core, std::chrono::milliseconds timeout) const { core.WaitEnded(timeout); }
        // A thread that did not end finishes by itself, holding what it uses.
        void Release(bool ended) {
            if (!thread_.joinable()) return;
            if (ended) {
                thread_.join();
            } else {
                thread_.detach();
            }
        }

    private:
        std::thread thread_;
    };
#endif

    std::shared_ptr<TCore> core_;
    TSender sender_;
    bool closed_ = false;
    bool closedWhole_ = false;
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
// without IDebugSession2. A batch counts as delivered only when every call of
// it succeeded: one the server answers with a failure (it refused the batch
// whole) counts as dropped, and so does one this side could not make.
class TComTracerLink : public TTracerLink {
public:
    explicit TComTracerLink(TSessionOpener open, TReopenPolicy reopen = TReopenPolicy())
        : open_(std::move(open)), reopen_(reopen) {}

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
        if (!Lost(result)) return TResult::Refused;
        Close();
        reopen_.Lost(std::chrono::steady_clock::now());
        return TResult::Unreachable;
    }

private:
    bool Reopen() {
        return reopen_.Due(std::chrono::steady_clock::now(), [] {
            HANDLE serving = OpenEventA(SYNCHRONIZE, FALSE, kNorvaleServingEvent);
            if (serving == nullptr) return false;
            CloseHandle(serving);
            return true;
        }) && Open();
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
        session_ = open_(server_);
        if (session_ == nullptr) {
            Close();
            // From the failure's end: an activation can take minutes to fail.
            reopen_.Failed(std::chrono::steady_clock::now());
            return false;
        }
        reopen_.Opened();
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
    TReopenPolicy reopen_;
};

inline Tracer::Tracer(std::wstring_view project, std::wstring_view module, std::wstring_view className,
                      TTracerOptions options)
    : Tracer(std::make_unique<TComTracerLink>(OpenNorvaleSession(std::wstring(project), std::wstring(module),
                                                                 std::wstring(className))),
             options) {}
#endif

}  // namespace norvale

#endif
