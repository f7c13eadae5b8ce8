#pragma once

#include <memory>

#include "common/session_naming.h"
#include "output/trace_entry.h"

namespace norvale {

// A process that wrote debug output, as its entries name it: the local
// computer, the writer's id and image name; shared by all its strings.
struct CapturedWriter {
    std::shared_ptr<const TraceSource> source;
    // The same in the code page, for the line prefix and the file name; and
    // in UTF-8, for the prefix in a UTF-8 file.
    SessionNaming naming;
    SessionNaming utf8Naming;
};

std::shared_ptr<const CapturedWriter> MakeCapturedWriter(std::wstring machine, uint32_t processId,
                                                         std::wstring imageName);

}  // namespace norvale
