// Prefixes and output file names from any settings and session texts.

#include <cstdlib>

#include "output/formatting.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace norvale;
    fuzz::Input input(data, size);
    const uint8_t flags = input.Byte();
    OutputSettings settings;
    settings.IncludeDateTime = flags & 1;
    settings.IncludeProject = flags & 2;
    settings.IncludeModule = flags & 4;
    settings.IncludeClass = flags & 8;
    settings.IncludeMachine = flags & 16;
    settings.IncludeProcess = flags & 32;
    settings.IncludeThread = flags & 64;
    settings.IncludeCode = flags & 128;
    const int32_t threadId = input.Number();
    const int32_t code = input.Number();
    const TimeOfDay time{static_cast<uint16_t>(input.Byte() % 24), static_cast<uint16_t>(input.Byte() % 60),
                         static_cast<uint16_t>(input.Byte() % 60), static_cast<uint16_t>(input.Number() % 1000)};
    SessionNaming session;
    session.Project = input.Text();
    session.Module = input.Text();
    session.Class = input.Text();
    session.Machine = input.Text();
    session.ProcessID = input.Number();
    const std::string className = input.Text();
    const std::string fileNameTemplate = input.Rest();

    const std::string prefix = FormatPrefix(settings, session, threadId, code, className, time);
    Require(flags != 0 || prefix.empty());
    Require(prefix.empty() || prefix.back() == ' ');
    Require(BlockIndent(prefix).size() == prefix.size() + 2);

    const std::string name = ExpandFileName(fileNameTemplate, &session);
    Require(ExpandFileName(fileNameTemplate, nullptr) == fileNameTemplate);
    Require(fileNameTemplate.find('%') != std::string::npos || name == fileNameTemplate);
    return 0;
}
