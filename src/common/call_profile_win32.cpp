#include "common/call_profile_win32.h"

namespace norvale {

TCallProfileAttachment::TCallProfileAttachment() {
    mapping_.reset(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kCallProfileName));
    if (!mapping_) return;
    view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CallProfileBlock)));
    if (view_) UseCallProfile(static_cast<CallProfileBlock*>(view_.get()));
}

TCallProfileAttachment::~TCallProfileAttachment() {
    if (view_) UseCallProfile(nullptr);
}

}  // namespace norvale
