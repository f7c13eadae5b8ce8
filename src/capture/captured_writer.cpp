#include "capture/captured_writer.h"

namespace norvale {

std::shared_ptr<const CapturedWriter> MakeCapturedWriter(std::wstring machine, uint32_t processId,
                                                         std::wstring imageName) {
    auto source = std::make_shared<TraceSource>();
    source->Module = std::move(imageName);
    source->Machine = std::move(machine);
    source->ProcessID = static_cast<int32_t>(processId);
    SessionNaming naming = NamingIn(FileEncoding::Ansi, *source);
    SessionNaming utf8Naming = NamingIn(FileEncoding::Utf8, *source);
    return std::make_shared<const CapturedWriter>(
        CapturedWriter{std::move(source), std::move(naming), std::move(utf8Naming)});
}

}  // namespace norvale
