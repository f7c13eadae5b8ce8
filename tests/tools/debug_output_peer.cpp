// The other side of debug output capture for tests and benchmarks.
//
//   norvale_debug_peer write <tag> <count> [lines]
//     OutputDebugStringA("<tag> s<i>") for i from 0, as fast as it can; with
//     "lines", each string is "<tag> s<i>\r\nsecond\nthird\r\n". Prints the
//     seconds it took.
//   norvale_debug_peer write-names <prefix> <tag> <count>
//     the same strings through the protocol on the names under <prefix>
//     ("Global\" say), written by hand as a writer of that stream would.
//   norvale_debug_peer read <prefix> <count> <ready event> <seconds> [quiet]
//     a bare reader: holds the names, sets the ready event, then copies and
//     releases <count> strings, printing each as "<pid> <text>"; with
//     "quiet" it prints nothing, as the floor of a benchmark. Exit 3 when
//     the names are held by another reader, 4 when time ran out first.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capture/debug_output_channel_win32.h"

namespace {

using namespace norvale;

std::wstring Wide(const char* text) { return std::wstring(text, text + std::strlen(text)); }

std::string StringOf(const std::string& tag, int i, bool lines) {
    std::string text = tag + " s" + std::to_string(i);
    return lines ? text + "\r\nsecond\nthird\r\n" : text;
}

template <typename Write>
int Timed(int count, Write write) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        if (!write(i)) return 5;
    }
    std::printf("%.6f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return 0;
}

// The writer's half of the protocol, as a service's stream gets it.
int WriteNames(const std::wstring& prefix, const std::string& tag, int count) {
    const UniqueHandle section(OpenFileMappingW(FILE_MAP_WRITE, FALSE, (prefix + L"DBWIN_BUFFER").c_str()));
    const UniqueHandle bufferReady(OpenEventW(SYNCHRONIZE, FALSE, (prefix + L"DBWIN_BUFFER_READY").c_str()));
    const UniqueHandle dataReady(OpenEventW(EVENT_MODIFY_STATE, FALSE, (prefix + L"DBWIN_DATA_READY").c_str()));
    if (!section || !bufferReady || !dataReady) return 3;
    const UniqueMappedView view(MapViewOfFile(section.get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!view) return 3;
    return Timed(count, [&](int i) {
        if (WaitForSingleObject(bufferReady.get(), 10000) != WAIT_OBJECT_0) return false;
        auto* buffer = static_cast<char*>(view.get());
        const DWORD processId = GetCurrentProcessId();
        std::memcpy(buffer, &processId, sizeof processId);
        const std::string text = StringOf(tag, i, false);
        std::memcpy(buffer + sizeof processId, text.c_str(), text.size() + 1);
        return SetEvent(dataReady.get()) != FALSE;
    });
}

int Read(const std::wstring& prefix, int count, const char* readyEvent, int seconds, bool quiet) {
    const TDebugOutputChannel channel = TDebugOutputChannel::Open(prefix);
    if (channel.Status().state == ChannelState::TakenByOther) return 3;
    if (!channel.IsOpen()) return 6;
    const UniqueHandle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEvent));
    if (ready) SetEvent(ready.get());
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    char text[TDebugOutputChannel::kMaxText + 1];
    for (int i = 0; i < count; ++i) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline || WaitForSingleObject(channel.DataReady(), static_cast<DWORD>(deadline - now)) != WAIT_OBJECT_0) {
            return 4;
        }
        DWORD processId = 0;
        text[channel.Copy(processId, text)] = '\0';
        channel.Release();
        if (!quiet) std::printf("%lu %s\n", processId, text);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "write" && (argc == 4 || argc == 5)) {
        const bool lines = argc == 5 && std::string(argv[4]) == "lines";
        return Timed(std::atoi(argv[3]), [&](int i) {
            OutputDebugStringA(StringOf(argv[2], i, lines).c_str());
            return true;
        });
    }
    if (command == "write-names" && argc == 5) return WriteNames(Wide(argv[2]), argv[3], std::atoi(argv[4]));
    if (command == "read" && (argc == 6 || argc == 7)) {
        const bool quiet = argc == 7 && std::string(argv[6]) == "quiet";
        return Read(Wide(argv[2]), std::atoi(argv[3]), argv[4], std::atoi(argv[5]), quiet);
    }
    std::fprintf(stderr, "usage: norvale_debug_peer write <tag> <count> [lines]\n"
                         "       norvale_debug_peer write-names <prefix> <tag> <count>\n"
                         "       norvale_debug_peer read <prefix> <count> <ready event> <seconds> [quiet]\n");
    return 2;
}
