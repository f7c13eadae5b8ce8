#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "capture/capture_status.h"
#include "capture/debug_output_channel_win32.h"
#include "capture/debug_string_queue.h"
#include "capture/writer_names_win32.h"
#include "common/win32_resources.h"

namespace norvale {

// The thread that reads the debug-output protocol. It opens and closes the
// channels it is asked for, and hands every string to the queue with its
// writer and the time it came. Between a string's arrival and its buffer
// being free again it only copies: the writer is waiting.
class TDebugOutputReader {
public:
    // `changed`: called on the reader's thread whenever a channel's state
    // changes; it must not wait, and must write no debug output.
    TDebugOutputReader(TDebugStringQueue& queue, ChannelOpener opener, std::function<void()> changed);
    ~TDebugOutputReader();
    TDebugOutputReader(const TDebugOutputReader&) = delete;
    TDebugOutputReader& operator=(const TDebugOutputReader&) = delete;

    // Which channels to hold; never waits. A wanted channel that is not open
    // (another reader had it) is tried again.
    void Want(bool session, bool global);
    // Closes the channels, then ends the thread; nothing is read after.
    void Stop();

    ChannelStatus Session() const { return Load(session_); }
    ChannelStatus Global() const { return Load(global_); }

private:
    struct Channel {
        std::optional<TDebugOutputChannel> open;
        std::atomic<uint64_t> status{0};
    };

    void Run();
    void Apply();
    void Apply(Channel& channel, bool wanted, std::wstring_view prefix);
    void Read(const TDebugOutputChannel& channel);
    static ChannelStatus Load(const Channel& channel);

    TDebugStringQueue& queue_;
    const ChannelOpener opener_;
    const std::function<void()> changed_;
    TWriterNames names_{LocalComputerName()};
    UniqueHandle control_;
    const bool inSessionZero_;
    std::atomic<uint32_t> wanted_{0};
    std::atomic<bool> ending_{false};
    Channel session_;
    Channel global_;
    std::thread thread_;
};

}  // namespace norvale
