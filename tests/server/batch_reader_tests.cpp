// The batch format: what the client's writer lays out reads back as the same
// entries, and every fault of an array from outside is named with its entry
// and byte offset.

#include <gtest/gtest.h>

#include <norvale/tracer.h>

#include <functional>

#include "server/batch_reader.h"

namespace norvale {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint64_t kTime = 0x01DC6A1B2C3D4E5F;

TEST(BatchReaderTest, EveryKindReadsBackAsWritten) {
    TBatchWriter writer;
    const uint8_t data[] = {0x00, 0xFF, 0x41};
    writer.Message(-1, 0x7FFFFFFF, 0, u"plain \U0001F600");
    writer.ClassMessage(7, -2, kTime, u"TOther", u"");
    writer.EnterMethod(8, kTime + 1, u"Run");
    writer.ExitMethod(9, 0x7FFFFFFFFFFFFFFF, u"Run");
    writer.Strings(10, 3, kTime, u"lines", u"a\r\nb");
    writer.Binary(11, 4, kTime, u"bytes", data, sizeof data);
    writer.Binary(12, 5, kTime, u"none", nullptr, 0);
    using K = SessionCallKind;
    const std::vector<BatchEntry> expected = {
        {K::Message, -1, 0x7FFFFFFF, 0, L"", {L'p', L'l', L'a', L'i', L'n', L' ', 0xD83D, 0xDE00}, L"", {}},
        {K::ClassMessage, 7, -2, kTime, L"TOther", L"", L"", {}},
        {K::EnterMethod, 8, 0, kTime + 1, L"", L"Run", L"", {}},
        {K::ExitMethod, 9, 0, 0x7FFFFFFFFFFFFFFF, L"", L"Run", L"", {}},
        {K::Strings, 10, 3, kTime, L"", L"lines", L"a\r\nb", {}},
        {K::Binary, 11, 4, kTime, L"", L"bytes", L"", {0x00, 0xFF, 0x41}},
        {K::Binary, 12, 5, kTime, L"", L"none", L"", {}},
    };
    EXPECT_EQ(writer.EntryCount(), expected.size());
    EXPECT_EQ(ReadBatch(writer.Bytes()), expected);

    // The layout itself, as docs/clients.md draws it.
    writer.Clear();
    writer.ClassMessage(0x1A4, 2, 0x0102030405060708, u"C", u"hi");
    EXPECT_EQ(writer.Bytes(), (Bytes{1, 0, 0, 0,                                          // version, reserved
                                     2, 0, 0, 0, 0xA4, 1, 0, 0, 2, 0, 0, 0,                  // kind, thread, code
                                     8, 7, 6, 5, 4, 3, 2, 1,                                 // time
                                     1, 0, 0, 0, 'C', 0, 2, 0, 0, 0, 'h', 0, 'i', 0}));     // class, text
    EXPECT_TRUE(ReadBatch(Bytes{1, 0, 0, 0}).empty());
}

// Entry 1, a message "ab", spans bytes 4 to 31: its text's length at 24,
// its text at 28. Entry 2, a binary dump "x" of 3 bytes, spans 32 to 64: its
// data's length at 58, its data at 62.
Bytes TwoEntries() {
    TBatchWriter writer;
    writer.Message(1, 2, kTime, u"ab");
    const uint8_t data[] = {1, 2, 3};
    writer.Binary(3, 4, kTime, u"x", data, sizeof data);
    return writer.Bytes();
}
// Class "C" at 28, its text's length at 30, the text at 34.
Bytes ClassMessage() {
    TBatchWriter writer;
    writer.ClassMessage(1, 2, kTime, u"C", u"t");
    return writer.Bytes();
}
// The same places: text at 28, data at 34.
Bytes Strings() {
    TBatchWriter writer;
    writer.Strings(1, 2, kTime, u"t", u"dd");
    return writer.Bytes();
}

using Patch = std::function<void(Bytes&)>;
Patch Cut(size_t size) {
    return [size](Bytes& bytes) { bytes.resize(size); };
}
Patch Set(size_t offset, uint8_t value) {
    return [offset, value](Bytes& bytes) { bytes[offset] = value; };
}

TEST(BatchReaderTest, EveryFaultIsNamedWithItsEntryAndOffset) {
    struct Row {
        Bytes (*batch)();
        Patch patch;
        const char* text;
    };
    const Row rows[] = {
        {TwoEntries, Cut(0), "Batch header at byte 0: cut short, 0 of 4 bytes"},
        {TwoEntries, Cut(3), "Batch header at byte 0: cut short, 3 of 4 bytes"},
        {TwoEntries, Set(0, 2), "Batch header at byte 0: version 2 is unknown, this server reads version 1"},
        {TwoEntries, Set(3, 1), "Batch header at byte 2: its reserved field is 256, not 0"},
        {TwoEntries, Cut(23), "Batch entry 1 at byte 4: cut short in its header, 19 of 20 bytes"},
        {TwoEntries, Set(4, 0), "Batch entry 1 at byte 4: unknown kind 0"},
        {TwoEntries, Set(4, 7), "Batch entry 1 at byte 4: unknown kind 7"},
        {TwoEntries, Set(7, 1), "Batch entry 1 at byte 4: its reserved bytes are not 0"},
        {TwoEntries, Set(23, 0x80), "Batch entry 1 at byte 4: its time is past the last a FILETIME holds"},
        {TwoEntries, Cut(27), "Batch entry 1 at byte 4: cut short before the length of its text at byte 24"},
        {TwoEntries, Cut(31),
         "Batch entry 1 at byte 4: its text of 2 code units at byte 28 runs past the end of the batch"},
        {TwoEntries, Set(27, 0xFF),
         "Batch entry 1 at byte 4: its text of 4278190082 code units at byte 28 runs past the end of the batch"},
        {TwoEntries, Cut(33), "Batch entry 2 at byte 32: cut short in its header, 1 of 20 bytes"},
        {TwoEntries, Set(32, 9), "Batch entry 2 at byte 32: unknown kind 9"},
        {TwoEntries, Cut(60), "Batch entry 2 at byte 32: cut short before the length of its data at byte 58"},
        {TwoEntries, Cut(64), "Batch entry 2 at byte 32: its data of 3 bytes at byte 62 runs past the end of the batch"},
        {TwoEntries, [](Bytes& b) { b.push_back(1); },
         "Batch entry 3 at byte 65: cut short in its header, 1 of 20 bytes"},
        {ClassMessage, Cut(29),
         "Batch entry 1 at byte 4: its class of 1 code unit at byte 28 runs past the end of the batch"},
        {ClassMessage, Cut(35),
         "Batch entry 1 at byte 4: its text of 1 code unit at byte 34 runs past the end of the batch"},
        {Strings, Cut(37),
         "Batch entry 1 at byte 4: its data of 2 code units at byte 34 runs past the end of the batch"},
    };
    for (const auto& row : rows) {
        Bytes bytes = row.batch();
        row.patch(bytes);
        try {
            ReadBatch(bytes);
            ADD_FAILURE() << "no fault: " << row.text;
        } catch (const EBatchFormat& fault) {
            EXPECT_STREQ(fault.what(), row.text);
        }
    }
}

}  // namespace
}  // namespace norvale
