#include "output/process_outputs.h"

#include "common/call_profile.h"
#include "output/codesite_output.h"
#include "output/console_output.h"
#ifdef _WIN32
#include "output/mono_output.h"
#endif

namespace norvale {

TProcessOutputs::TProcessOutputs(std::unique_ptr<IConsoleOutput> console, std::unique_ptr<IScreenOutput> screen,
                                 std::unique_ptr<IViewerOutput> viewer, OptionsLocation options)
    : console_(std::move(console)),
      screen_(std::move(screen)),
      viewer_(std::move(viewer)),
      optionsLocation_(std::move(options)) {}

std::unique_ptr<TProcessOutputs> TProcessOutputs::MakeForProcess() {
#ifdef _WIN32
    auto screen = MakeMonoScreen();
#else
    // Natively there is neither adapter nor shared screen memory.
    auto screen = std::make_unique<TNoScreen>();
#endif
    return std::make_unique<TProcessOutputs>(std::make_unique<TConsoleOutput>(MakeSystemConsoleHost()),
                                             std::move(screen), MakeCodeSiteViewer());
}

void TProcessOutputs::ApplySettings(OutputSettings& settings) {
    settings.ToMono = settings.ToMono && !screen_->Unavailable();
    console_->SwitchConsole(settings.ToConsole);
    if (settings.ToMono && !monoActive_) screen_->Banner();
    monoActive_ = settings.ToMono;
}

}  // namespace norvale

namespace norvale {

void TProcessOutputs::RefreshOptions() {
    options_ = ReadOptionsSettings(optionsLocation_);
    if (window_ != nullptr) window_->ApplyOptions(options_);
    if (forwarding_ != nullptr) forwarding_->ApplyOptions(options_);
    for (IOptionsFollower* follower : followers_) follower->ApplyOptions(options_);
}

void TProcessOutputs::AppendEntry(const TraceEntry& entry) {
    if (forwarding_ != nullptr && !entry.received) forwarding_->Append(entry);
    if (window_ == nullptr || !options_.ToWindow) return;
    const TStageTimer timer(CallStage::Window);
    window_->Append(entry);
}

}  // namespace norvale
