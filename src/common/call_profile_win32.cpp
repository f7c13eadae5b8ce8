#include "common/call_profile_win32.h"

namespace norvale {

TCallProfileView::TCallProfileView(HANDLE mapping) : mapping_(mapping) {
    if (mapping_) view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CallProfileBlock)));
}

TCallProfileView TCallProfileView::Create() {
    return TCallProfileView(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                               sizeof(CallProfileBlock), kCallProfileName));
}

TCallProfileView TCallProfileView::Open() {
    return TCallProfileView(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kCallProfileName));
}

TCallProfileAttachment::TCallProfileAttachment() {
    if (view_.Block() != nullptr) UseCallProfile(view_.Block());
}

TCallProfileAttachment::~TCallProfileAttachment() {
    if (view_.Block() != nullptr) UseCallProfile(nullptr);
}

}  // namespace norvale
