#pragma once

// Norvale's C++ client header. Header only, C++17.
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

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

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

private:
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

}  // namespace norvale
