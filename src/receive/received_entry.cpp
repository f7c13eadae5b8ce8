#include "receive/received_entry.h"

#include "receive/safe_file_name.h"

namespace norvale {

namespace {

SessionNaming SafeNaming(SessionNaming naming) {
    for (std::string* value : {&naming.Project, &naming.Module, &naming.Class, &naming.Machine}) {
        *value = SafeForFileName(*value);
    }
    return naming;
}

size_t BytesOf(const SessionNaming& naming) {
    return naming.Project.size() + naming.Module.size() + naming.Class.size() + naming.Machine.size();
}

}  // namespace

TReceivedSource::TReceivedSource(TraceSource from)
    : source(std::make_shared<const TraceSource>(std::move(from))),
      naming(NamingIn(FileEncoding::Ansi, *source)),
      utf8Naming(NamingIn(FileEncoding::Utf8, *source)),
      fileNaming(SafeNaming(naming)),
      bytes(sizeof *this + sizeof *source +
            (source->Project.size() + source->Module.size() + source->Class.size() + source->Machine.size()) *
                sizeof(wchar_t) +
            BytesOf(naming) + BytesOf(utf8Naming) + BytesOf(fileNaming)) {}

size_t ReceivedBytes(const ReceivedEntry& entry) {
    return sizeof entry + (entry.text.capacity() + entry.further.capacity()) * sizeof(wchar_t) +
           (entry.source ? entry.source->bytes : 0);
}

}  // namespace norvale
