#pragma once

#include "common/call_profile.h"
#include "common/win32_resources.h"

namespace norvale {

// A view of the shared profile block: the measuring process creates it before
// it starts the server, and the server opens it.
class TCallProfileView {
public:
    static TCallProfileView Create();
    static TCallProfileView Open();

    // nullptr when there is no block.
    CallProfileBlock* Block() const { return static_cast<CallProfileBlock*>(view_.get()); }

private:
    explicit TCallProfileView(HANDLE mapping);

    UniqueHandle mapping_;
    UniqueMappedView view_;
};

// Profiling into the block a measuring process has created, while this lives.
class TCallProfileAttachment {
public:
    TCallProfileAttachment();
    ~TCallProfileAttachment();
    TCallProfileAttachment(const TCallProfileAttachment&) = delete;
    TCallProfileAttachment& operator=(const TCallProfileAttachment&) = delete;

private:
    const TCallProfileView view_ = TCallProfileView::Open();
};

}  // namespace norvale
