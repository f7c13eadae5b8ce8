// The frame while large blocks are forwarded: a server started by hand, its
// trace window shown, forwarding every entry over TCP to a collector of this
// process that reads everything; a client (this process) sends a 4 MB
// AddBinary (about 250,000 hex rows) three times. The frame is sent WM_NULL
// every 20 ms throughout; printed are the median, 99th percentile and
// longest answer, against the same probe of an idle window of this process
// (the floor).
//
//   norvale_large_block_bench

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <thread>
#include <vector>

#include "bench/bench_support_win32.h"
#include "common/com_ptr.h"
#include "common/sockets.h"
#include "norvale/Norvale_h.h"
#include "shell/shell_resources.h"

namespace norvale {
namespace {

using namespace bench;

constexpr const char* kFile = "C:\\norvale-large-block.txt";
constexpr size_t kBlockBytes = size_t{4} << 20;
constexpr int kBlocks = 3;

// Takes one connection on 127.0.0.1 and reads it until told to stop.
class TReadingCollector {
public:
    TReadingCollector() {
        StartSockets();
        listener_.reset(socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof at;
        bind(listener_.get(), reinterpret_cast<sockaddr*>(&at), size);
        listen(listener_.get(), 1);
        getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&at), &size);
        port_ = ntohs(at.sin_port);
        reader_ = std::thread([this] {
            while (!stop_ && !ReadableNow(listener_.get())) Sleep(10);
            if (stop_) return;
            const UniqueSocket connection(accept(listener_.get(), nullptr, nullptr));
            std::vector<char> buffer(1 << 16);
            while (!stop_) {
                if (!ReadableNow(connection.get())) {
                    Sleep(1);
                    continue;
                }
                const int read = recv(connection.get(), buffer.data(), static_cast<int>(buffer.size()), 0);
                if (read <= 0) return;
                bytes_ += static_cast<uint64_t>(read);
            }
        });
    }
    ~TReadingCollector() {
        stop_ = true;
        reader_.join();
    }
    uint16_t Port() const { return port_; }
    uint64_t Bytes() const { return bytes_; }

private:
    UniqueSocket listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> bytes_{0};
    std::thread reader_;
};

bool SendBlocks() {
    ComPtr<INorvale> server;
    CoCreateInstance(CLSID_Norvale, nullptr, CLSCTX_LOCAL_SERVER, IID_INorvale, server.put_void());
    ComPtr<IDebugSession> session;
    if (!server || FAILED(server->OpenSession(UniqueBstr(SysAllocString(L"Bench")).get(), session.put()))) return false;
    VARIANT data;
    VariantInit(&data);
    V_VT(&data) = VT_ARRAY | VT_UI1;
    V_ARRAY(&data) = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(kBlockBytes));
    {
        const SafeArrayDataLock bytes(V_ARRAY(&data));
        auto* at = static_cast<uint8_t*>(bytes.data());
        for (size_t i = 0; i < kBlockBytes; ++i) at[i] = static_cast<uint8_t>(i * 31);
    }
    bool sent = true;
    for (int i = 0; i < kBlocks && sent; ++i) {
        sent = SUCCEEDED(session->AddBinary(0, 0, UniqueBstr(SysAllocString(L"Block")).get(), data));
    }
    VariantClear(&data);
    return SUCCEEDED(session->CloseSession()) && sent;
}

int Run() {
    if (RunAndWait("\"" + BinDirectory() + "norvale.exe\" /RegServer") != 0) return 1;
    const TReadingCollector collector;
    UseFileOutputSettings(kFile);
    WriteRegBool(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "ToSyslog", true);
    WriteRegString(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey, "SyslogServer",
                   "tcp://127.0.0.1:" + std::to_string(collector.Port()));
    const UniqueHandle server = StartProcess("\"" + BinDirectory() + "norvale.exe\"");
    const HWND frame = AwaitServerFrame();
    if (!server || frame == nullptr) {
        std::printf("the server did not start\n");
        return 1;
    }
    SendMessageW(frame, WM_COMMAND, ID_AC_SHOWDEBUGWINDOW, 0);
    const TIdleWindow idle;
    std::atomic<bool> stop{false};
    ProbeAnswers frameAnswers, floorAnswers;
    std::thread frameProbe([&] { frameAnswers = Probe(frame, stop, 20, 5000); });
    std::thread floorProbe([&] { floorAnswers = Probe(idle.Handle(), stop, 20, 5000); });
    bool sent = false;
    double seconds = 0;
    {
        TPhaseWatch watch("the large blocks", 600);
        const auto start = Clock::now();
        sent = SendBlocks();
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    // The window takes the last rows, the sender the last bytes: until the
    // collector has read nothing new for a second, 60 s at most.
    for (int second = 0; second < 60; ++second) {
        const uint64_t before = collector.Bytes();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (collector.Bytes() == before && before > 0) break;
    }
    stop = true;
    frameProbe.join();
    floorProbe.join();
    std::printf("Large blocks under forwarding: %d AddBinary calls of %zu MB (about %zu hex rows each), trace window\n"
                "shown, every entry forwarded over TCP; %.1f s, %s; the collector read %.1f MB\n",
                kBlocks, kBlockBytes >> 20, kBlockBytes / 16, seconds, sent ? "every call answered" : "A CALL FAILED",
                static_cast<double>(collector.Bytes()) / (1 << 20));
    std::printf("  WM_NULL answer, ms      median   99th %%   longest   (probes, unanswered within 5 s)\n");
    for (const auto& [name, answers] : {std::pair{"the server's frame ", &frameAnswers}, {"idle window (floor)", &floorAnswers}}) {
        std::printf("    %s  %7.2f  %7.2f  %8.2f   (%zu, %d)\n", name, Percentile(answers->ms, 0.5),
                    Percentile(answers->ms, 0.99), Percentile(answers->ms, 1.0), answers->ms.size(),
                    answers->unanswered);
    }
    PostThreadMessageW(GetWindowThreadProcessId(frame, nullptr), WM_QUIT, 0, 0);
    if (WaitForSingleObject(server.get(), 30000) != WAIT_OBJECT_0) std::printf("the server did not end\n");
    RegApiDeleteTree(RegCurrentUser(), SettingsLocation::kOutputSettingsKey);
    RegApiDeleteTree(RegCurrentUser(), OptionsLocation::kOptionsSettingsKey);
    DeleteFileA(kFile);
    return sent ? 0 : 1;
}

}  // namespace
}  // namespace norvale

int main() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int status = norvale::Run();
    CoUninitialize();
    return status;
}
