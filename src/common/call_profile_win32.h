#pragma once

#include "common/call_profile.h"
#include "common/win32_resources.h"

namespace norvale {

// The shared profile block, when a measuring process has created it; profiling
// runs while this lives.
class TCallProfileAttachment {
public:
    TCallProfileAttachment();
    ~TCallProfileAttachment();
    TCallProfileAttachment(const TCallProfileAttachment&) = delete;
    TCallProfileAttachment& operator=(const TCallProfileAttachment&) = delete;

private:
    UniqueHandle mapping_;
    UniqueMappedView view_;
};

}  // namespace norvale
