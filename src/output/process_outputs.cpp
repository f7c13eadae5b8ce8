#include "output/process_outputs.h"

#include "output/console_output.h"

namespace norvale {

TProcessOutputs::TProcessOutputs(std::unique_ptr<IConsoleOutput> console, std::unique_ptr<IScreenOutput> screen,
                                 std::unique_ptr<IOutput> viewer)
    : console_(std::move(console)), screen_(std::move(screen)), viewer_(std::move(viewer)) {}

std::unique_ptr<TProcessOutputs> TProcessOutputs::MakeForProcess() {
    return std::make_unique<TProcessOutputs>(std::make_unique<TConsoleOutput>(MakeSystemConsoleHost()),
                                             std::make_unique<TNoScreen>(), std::make_unique<TNoViewer>());
}

void TProcessOutputs::ApplySettings(OutputSettings& settings) {
    settings.ToMono = settings.ToMono && !screen_->Unavailable();
    console_->SwitchConsole(settings.ToConsole);
    if (settings.ToMono && !monoActive_) screen_->Banner();
    monoActive_ = settings.ToMono;
}

}  // namespace norvale
