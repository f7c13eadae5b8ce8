// Prefixes and output file names from any settings and session texts,
// compared with the same built from the plain helpers one field and one
// placeholder at a time, in their fixed order.

#include <cstdlib>
#include <string_view>
#include <utility>

#include "common/text.h"
#include "output/formatting.h"
#include "output/output_file_name.h"
#include "tests/fuzz/fuzz_input.h"

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

    const std::pair<bool, std::string> fields[] = {
        {settings.IncludeDateTime, ZeroPad(time.hour, 2) + ":" + ZeroPad(time.minute, 2) + ":" +
                                       ZeroPad(time.second, 2) + "." + ZeroPad(time.millisecond, 3)},
        {settings.IncludeProject && !session.Project.empty(), session.Project},
        {settings.IncludeModule && !session.Module.empty(), session.Module},
        {settings.IncludeMachine && !session.Machine.empty(), session.Machine},
        {settings.IncludeProcess && session.ProcessID != 0, HexText(static_cast<uint32_t>(session.ProcessID))},
        {settings.IncludeClass && !className.empty(), className},
        {settings.IncludeCode, HexText(static_cast<uint32_t>(code))},
        {settings.IncludeThread && threadId != 0, HexText(static_cast<uint32_t>(threadId))},
    };
    std::string expectedPrefix;
    for (const auto& [present, field] : fields) {
        if (present) expectedPrefix += field + " ";
    }
    const std::string prefix = FormatPrefix(settings, session, threadId, code, className, time);
    fuzz::Require(prefix == expectedPrefix);
    fuzz::Require(BlockIndent(prefix).size() == prefix.size() + 2);

    std::string expectedName = fileNameTemplate;
    for (const auto& [placeholder, value] : {std::pair<std::string_view, std::string>{"%PROJECT%", session.Project},
                                             {"%MODULE%", session.Module},
                                             {"%CLASS%", session.Class},
                                             {"%MACHINE%", session.Machine},
                                             {"%PROCESS%", HexText(static_cast<uint32_t>(session.ProcessID))}}) {
        ReplaceAll(expectedName, placeholder, value);
    }
    fuzz::Require(ExpandFileName(fileNameTemplate, &session) == expectedName);
    fuzz::Require(ExpandFileName(fileNameTemplate, nullptr) == fileNameTemplate);
    return 0;
}
