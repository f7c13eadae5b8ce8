#include "capture/debug_output_channel_win32.h"

#include <sddl.h>

#include <cstring>

namespace norvale {

namespace {

// Writers of other accounts and sessions (services among them) must be able
// to wait on the events and write the buffer; the session's objects keep the
// user's default security.
class TGlobalSecurity {
public:
    TGlobalSecurity() {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GRGWGX;;;WD)", SDDL_REVISION_1, &descriptor,
                                                                 nullptr)) {
            descriptor_.reset(descriptor);
            attributes_.lpSecurityDescriptor = descriptor;
        }
    }
    SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    UniqueLocalMemory descriptor_;
    SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

bool NameExists(const std::wstring& name) {
    const UniqueHandle existing(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
    return existing || GetLastError() == ERROR_ACCESS_DENIED;
}

// Why a name could not be made ours.
ChannelStatus RefusalOf(DWORD error, bool global, const std::wstring& name) {
    if (error == ERROR_ALREADY_EXISTS) return {ChannelState::TakenByOther, 0};
    if (error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD) {
        // Denied on a name someone holds is that someone's capture; denied
        // on a free global name is the missing privilege.
        if (NameExists(name)) return {ChannelState::TakenByOther, 0};
        if (global) return {ChannelState::NotPermitted, error};
    }
    return {ChannelState::Failed, error};
}

}  // namespace

TDebugOutputChannel TDebugOutputChannel::Open(std::wstring_view prefix) {
    const bool global = prefix == kGlobalPrefix;
    TGlobalSecurity security;
    SECURITY_ATTRIBUTES* attributes = global ? security.Attributes() : nullptr;
    const std::wstring stem(prefix);
    TDebugOutputChannel channel;
    // Each object is checked as it is made, so that none of another reader's
    // is ever used: a name that exists already means that reader is there.
    const auto make = [&](UniqueHandle& slot, const wchar_t* name, auto create) {
        const std::wstring fullName = stem + name;
        SetLastError(0);
        slot.reset(create(fullName.c_str()));
        const DWORD error = !slot ? GetLastError() : GetLastError() == ERROR_ALREADY_EXISTS ? ERROR_ALREADY_EXISTS : 0;
        if (error != 0) channel.status_ = RefusalOf(error, global, fullName);
        return error == 0;
    };
    const auto event = [attributes](const wchar_t* name) { return CreateEventW(attributes, FALSE, FALSE, name); };
    UniqueHandle dataReady;
    const bool made =
        make(channel.section_, L"DBWIN_BUFFER",
             [attributes](const wchar_t* name) {
                 return CreateFileMappingW(INVALID_HANDLE_VALUE, attributes, PAGE_READWRITE, 0, kBufferSize, name);
             }) &&
        make(channel.bufferReady_, L"DBWIN_BUFFER_READY", event) && make(dataReady, L"DBWIN_DATA_READY", event);
    if (!made) return channel;
    channel.view_.reset(MapViewOfFile(channel.section_.get(), FILE_MAP_READ, 0, 0, kBufferSize));
    if (!channel.view_) {
        channel.status_ = {ChannelState::Failed, GetLastError()};
        return channel;
    }
    channel.dataReady_ = std::move(dataReady);
    channel.status_ = {ChannelState::Capturing, 0};
    channel.Release();
    return channel;
}

TDebugOutputChannel TDebugOutputChannel::Refused(ChannelStatus status) {
    TDebugOutputChannel channel;
    channel.status_ = status;
    return channel;
}

TDebugOutputChannel::~TDebugOutputChannel() {
    if (IsOpen()) Release();
}

size_t TDebugOutputChannel::Copy(DWORD& processId, char* text) const {
    const auto* buffer = static_cast<const char*>(view_.get());
    std::memcpy(&processId, buffer, sizeof(DWORD));
    const char* start = buffer + sizeof(DWORD);
    const size_t length = strnlen(start, kMaxText);
    std::memcpy(text, start, length);
    return length;
}

}  // namespace norvale
