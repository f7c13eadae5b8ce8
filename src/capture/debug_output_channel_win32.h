#pragma once

// The objects of the system's debug-output protocol under one name prefix:
// "" for the programs of the user's session, "Global\" for the machine's.
// A writer waits for "DBWIN_BUFFER_READY", puts its process id and text into
// the section "DBWIN_BUFFER" and sets "DBWIN_DATA_READY"; the reader copies
// them out and sets the first event again.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "capture/capture_status.h"
#include "common/win32_resources.h"

namespace norvale {

inline constexpr const wchar_t* kGlobalPrefix = L"Global\\";

class TDebugOutputChannel {
public:
    static constexpr size_t kBufferSize = 4096;
    static constexpr size_t kMaxText = kBufferSize - sizeof(DWORD);

    // Creates the three objects, which must not exist yet.
    static TDebugOutputChannel Open(std::wstring_view prefix);
    // A channel that did not open, as a platform that refuses says.
    static TDebugOutputChannel Refused(ChannelStatus status);
    // Writers waiting right now get the buffer and return at once; their
    // strings are not read.
    ~TDebugOutputChannel();
    TDebugOutputChannel(TDebugOutputChannel&&) noexcept = default;
    TDebugOutputChannel& operator=(TDebugOutputChannel&&) noexcept = default;

    bool IsOpen() const { return static_cast<bool>(dataReady_); }
    // How the opening went; the channel is open only when `Capturing`.
    ChannelStatus Status() const { return status_; }

    // Set when a string is in the buffer.
    HANDLE DataReady() const { return dataReady_.get(); }
    // Copies the writer's id and its text, up to its zero or the buffer's
    // end, into `text` (at least `kMaxText` bytes) and returns the text's
    // length. Touches nothing but the mapped buffer.
    size_t Copy(DWORD& processId, char* text) const;
    // The buffer is free for the next writer.
    void Release() const { SetEvent(bufferReady_.get()); }

private:
    TDebugOutputChannel() = default;

    ChannelStatus status_;
    UniqueHandle section_;
    UniqueMappedView view_;
    UniqueHandle bufferReady_;
    UniqueHandle dataReady_;
};

// How the reader opens a channel; tests put in a platform that refuses.
using ChannelOpener = std::function<TDebugOutputChannel(std::wstring_view prefix)>;

}  // namespace norvale
