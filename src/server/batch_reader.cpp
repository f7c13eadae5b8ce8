#include "server/batch_reader.h"

#include <string_view>

namespace norvale {

namespace {

constexpr uint16_t kVersion = 1;
constexpr size_t kBatchHeaderSize = 4;
constexpr size_t kEntryHeaderSize = 20;
// FILETIME's own limit: the platform converts no later time.
constexpr uint64_t kLastTime = 0x7FFFFFFFFFFFFFFF;

// The bytes left to read, read little-endian whatever the host's order.
class TCursor {
public:
    explicit TCursor(std::span<const uint8_t> batch) : batch_(batch) {}

    size_t Offset() const { return offset_; }
    size_t Left() const { return batch_.size() - offset_; }
    uint64_t Unsigned(size_t size) {
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i) value |= static_cast<uint64_t>(batch_[offset_ + i]) << (8 * i);
        offset_ += size;
        return value;
    }
    std::span<const uint8_t> Take(size_t size) {
        const auto taken = batch_.subspan(offset_, size);
        offset_ += size;
        return taken;
    }

private:
    std::span<const uint8_t> batch_;
    size_t offset_ = 0;
};

std::string EntryFaultText(size_t number, size_t offset, const std::string& what) {
    return "Batch entry " + std::to_string(number) + " at byte " + std::to_string(offset) + ": " + what;
}

[[noreturn]] void HeaderFault(size_t offset, const std::string& what) {
    throw EBatchFormat("Batch header at byte " + std::to_string(offset) + ": " + what);
}

class TEntryReader {
public:
    TEntryReader(TCursor& cursor, size_t number) : cursor_(cursor), number_(number), start_(cursor.Offset()) {}

    BatchEntry Read() {
        if (cursor_.Left() < kEntryHeaderSize) {
            Fault("cut short in its header, " + std::to_string(cursor_.Left()) + " of " +
                  std::to_string(kEntryHeaderSize) + " bytes");
        }
        BatchEntry entry;
        entry.offset = start_;
        const auto kind = static_cast<uint8_t>(cursor_.Unsigned(1));
        if (kind < 1 || kind > 6) Fault("unknown kind " + std::to_string(kind));
        entry.kind = static_cast<SessionCallKind>(kind);
        if (cursor_.Unsigned(3) != 0) Fault("its reserved bytes are not 0");
        entry.threadId = static_cast<int32_t>(cursor_.Unsigned(4));
        entry.code = static_cast<int32_t>(cursor_.Unsigned(4));
        entry.time = cursor_.Unsigned(8);
        if (entry.time > kLastTime) Fault("its time is past the last a FILETIME holds");
        switch (entry.kind) {
            case SessionCallKind::ClassMessage:
                entry.className = Text("class");
                entry.text = Text("text");
                break;
            case SessionCallKind::Strings:
                entry.text = Text("text");
                entry.data = Text("data");
                break;
            case SessionCallKind::Binary: {
                entry.text = Text("text");
                const auto bytes = Field("data", 1);
                entry.bytes.assign(bytes.begin(), bytes.end());
                break;
            }
            default: entry.text = Text("text");
        }
        return entry;
    }

private:
    [[noreturn]] void Fault(const std::string& what) const { throw EBatchFormat(EntryFaultText(number_, start_, what)); }

    // A count, then that many units of `unitSize` bytes.
    std::span<const uint8_t> Field(std::string_view name, size_t unitSize) {
        const std::string field(name);
        if (cursor_.Left() < 4) {
            Fault("cut short before the length of its " + field + " at byte " + std::to_string(cursor_.Offset()));
        }
        const uint64_t count = cursor_.Unsigned(4);
        if (count * unitSize > cursor_.Left()) {
            const std::string unit = unitSize == 1 ? " byte" : " code unit";
            Fault("its " + field + " of " + std::to_string(count) + unit + (count == 1 ? "" : "s") +
                  " at byte " + std::to_string(cursor_.Offset()) + " runs past the end of the batch");
        }
        return cursor_.Take(count * unitSize);
    }

    std::wstring Text(std::string_view name) {
        const auto units = Field(name, 2);
        std::wstring text(units.size() / 2, L'\0');
        for (size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<wchar_t>(units[2 * i] | (units[2 * i + 1] << 8));
        }
        return text;
    }

    TCursor& cursor_;
    const size_t number_;
    const size_t start_;
};

}  // namespace

EBatchFormat BatchEntryFault(size_t number, const BatchEntry& entry, const std::string& what) {
    return EBatchFormat(EntryFaultText(number, entry.offset, what));
}

std::vector<BatchEntry> ReadBatch(std::span<const uint8_t> batch) {
    TCursor cursor(batch);
    if (cursor.Left() < kBatchHeaderSize) {
        HeaderFault(0, "cut short, " + std::to_string(cursor.Left()) + " of " + std::to_string(kBatchHeaderSize) +
                           " bytes");
    }
    const uint64_t version = cursor.Unsigned(2);
    if (version != kVersion) {
        HeaderFault(0, "version " + std::to_string(version) + " is unknown, this server reads version " +
                           std::to_string(kVersion));
    }
    const uint64_t reserved = cursor.Unsigned(2);
    if (reserved != 0) HeaderFault(2, "its reserved field is " + std::to_string(reserved) + ", not 0");

    std::vector<BatchEntry> entries;
    while (cursor.Left() > 0) entries.push_back(TEntryReader(cursor, entries.size() + 1).Read());
    return entries;
}

}  // namespace norvale
