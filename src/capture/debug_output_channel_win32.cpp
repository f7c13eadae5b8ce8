#include "capture/debug_output_channel_win32.h"

#include <sddl.h>

#include <cstring>

namespace norvale {

namespace {

// Every writer must be able to wait on the events and write the buffer:
// other accounts and sessions (services) on the global names, and on the
// session's a process of another integrity level than this one's (an
// elevated Norvale would otherwise shut out the user's programs, and a
// sandboxed program is low).
constexpr const wchar_t* kWritersMayWrite = L"D:(A;;GRGWGX;;;WD)S:(ML;;NW;;;LW)";

class TWriterSecurity {
public:
    TWriterSecurity() {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kWritersMayWrite, SDDL_REVISION_1, &descriptor,
                                                                  nullptr)) {
            error_ = GetLastError();
            return;
        }
        descriptor_.reset(descriptor);
        attributes_.lpSecurityDescriptor = descriptor;
    }
    SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }
    DWORD Error() const { return error_; }

private:
    UniqueLocalMemory descriptor_;
    SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    DWORD error_ = 0;
};

// The protocol's objects: the section, then the two events, each with the
// way to make it and the way to see that someone else has it.
struct NamedObject {
    const wchar_t* name;
    HANDLE (*create)(SECURITY_ATTRIBUTES* attributes, const wchar_t* name);
    HANDLE (*open)(const wchar_t* name);
};

HANDLE CreateSection(SECURITY_ATTRIBUTES* attributes, const wchar_t* name) {
    return CreateFileMappingW(INVALID_HANDLE_VALUE, attributes, PAGE_READWRITE, 0, TDebugOutputChannel::kBufferSize,
                              name);
}
HANDLE OpenSection(const wchar_t* name) { return OpenFileMappingW(FILE_MAP_READ, FALSE, name); }
HANDLE CreateAutoEvent(SECURITY_ATTRIBUTES* attributes, const wchar_t* name) {
    return CreateEventW(attributes, FALSE, FALSE, name);
}
HANDLE OpenAutoEvent(const wchar_t* name) { return OpenEventW(SYNCHRONIZE, FALSE, name); }

constexpr NamedObject kSection{L"DBWIN_BUFFER", CreateSection, OpenSection};
constexpr NamedObject kBufferReady{L"DBWIN_BUFFER_READY", CreateAutoEvent, OpenAutoEvent};
constexpr NamedObject kDataReady{L"DBWIN_DATA_READY", CreateAutoEvent, OpenAutoEvent};

// Why a name could not be made ours.
ChannelStatus RefusalOf(DWORD error, bool global, const NamedObject& object, const std::wstring& name) {
    if (error == ERROR_ALREADY_EXISTS) return {ChannelState::TakenByOther, 0};
    if (error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD) {
        // Denied on a name someone holds is that someone's capture; denied
        // on a free global name is the missing privilege.
        const UniqueHandle existing(object.open(name.c_str()));
        if (existing || GetLastError() == ERROR_ACCESS_DENIED) return {ChannelState::TakenByOther, 0};
        if (global) return {ChannelState::NotPermitted, error};
    }
    return {ChannelState::Failed, error};
}

}  // namespace

TDebugOutputChannel TDebugOutputChannel::Open(std::wstring_view prefix) {
    const bool global = prefix == kGlobalPrefix;
    TDebugOutputChannel channel;
    TWriterSecurity security;
    if (security.Error() != 0) {
        channel.status_ = {ChannelState::Failed, security.Error()};
        return channel;
    }
    // Each object is checked as it is made, so that none of another reader's
    // is ever used: a name that exists already means that reader is there.
    const auto make = [&](UniqueHandle& slot, const NamedObject& object) {
        const std::wstring name = std::wstring(prefix) + object.name;
        SetLastError(0);
        slot.reset(object.create(security.Attributes(), name.c_str()));
        const DWORD error = !slot ? GetLastError() : GetLastError() == ERROR_ALREADY_EXISTS ? ERROR_ALREADY_EXISTS : 0;
        if (error != 0) channel.status_ = RefusalOf(error, global, object, name);
        return error == 0;
    };
    UniqueHandle dataReady;
    if (!make(channel.section_, kSection) || !make(channel.bufferReady_, kBufferReady) || !make(dataReady, kDataReady)) {
        return channel;
    }
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
