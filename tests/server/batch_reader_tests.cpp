// The batch format: what the client's writer lays out reads back as the same
// entries, and every fault is named with its entry and byte offset.

#include <gtest/gtest.h>

#include <norvale/tracer.h>

#include "server/batch_reader.h"

namespace norvale {
namespace {

using Bytes = std::vector<uint8_t>;
using K = SessionCallKind;
constexpr uint64_t kTime = 0x01DC6A1B2C3D4E5F;

TEST(BatchReaderTest, EveryKindReadsBackAsWritten) {
    TBatchWriter writer;
    const uint8_t data[] = {0x00, 0xFF, 0x41};
    writer.Message(-1, 0x7FFFFFFF, 0, u"\U0001F600");
    writer.ClassMessage(7, -2, kTime, u"TX", u"");
    writer.EnterMethod(8, kTime, u"Run");
    writer.ExitMethod(9, 0x7FFFFFFFFFFFFFFF, u"Run");
    writer.Strings(10, 3, kTime, u"t", u"a\r\nb");
    writer.Binary(11, 4, kTime, u"b", data, sizeof data);
    EXPECT_EQ(ReadBatch(writer.Bytes()), (std::vector<BatchEntry>{
                                             {K::Message, -1, 0x7FFFFFFF, 0, L"", {0xD83D, 0xDE00}, L"", {}, 4},
                                             {K::ClassMessage, 7, -2, kTime, L"TX", L"", L"", {}, 32},
                                             {K::EnterMethod, 8, 0, kTime, L"", L"Run", L"", {}, 64},
                                             {K::ExitMethod, 9, 0, 0x7FFFFFFFFFFFFFFF, L"", L"Run", L"", {}, 94},
                                             {K::Strings, 10, 3, kTime, L"", L"t", L"a\r\nb", {}, 124},
                                             {K::Binary, 11, 4, kTime, L"", L"b", L"", {0x00, 0xFF, 0x41}, 162},
                                         }));
    // The layout as docs/clients.md draws it.
    writer.Clear();
    writer.ClassMessage(0x1A4, 2, 0x0102030405060708, u"C", u"hi");
    EXPECT_EQ(writer.Bytes(), (Bytes{1, 0, 0, 0, 2, 0, 0, 0, 0xA4, 1, 0, 0, 2, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1,
                                     1, 0, 0, 0, 'C', 0, 2, 0, 0, 0, 'h', 0, 'i', 0}));
}

// Entry 1, "ab", at 4: its text's length at 24, the text at 28. Entry 2,
// strings "t" and "dd", at 32: the data's length at 58, the data at 62.
// Entry 3, 3 bytes, at 66: the bytes' length at 92, the bytes at 96.
// Cut and changed, the batch is refused with its fault named, or read.
TEST(BatchReaderTest, EveryFaultIsNamedWithItsEntryAndOffset) {
    TBatchWriter writer;
    writer.Message(1, 2, kTime, u"ab");
    writer.Strings(1, 2, kTime, u"t", u"dd");
    writer.Binary(3, 4, kTime, u"x", "abc", 3);
    const std::string entry1 = "Batch entry 1 at byte 4: ", entry2 = "Batch entry 2 at byte 32: ";
    const std::string past = " runs past the end of the batch";
    const struct {
        size_t size;  // what is left of the batch
        size_t offset;
        uint8_t value;  // put there
        std::string text;
    } rows[] = {
        {0, 0, 0, "Batch header at byte 0: cut short, 0 of 4 bytes"},
        {3, 0, 1, "Batch header at byte 0: cut short, 3 of 4 bytes"},
        {99, 0, 0, "Batch header at byte 0: version 0 is unknown, this server reads version 1"},
        {99, 0, 2, "Batch header at byte 0: version 2 is unknown, this server reads version 1"},
        {99, 1, 0xFF, "Batch header at byte 0: version 65281 is unknown, this server reads version 1"},
        {99, 3, 1, "Batch header at byte 2: its reserved field is 256, not 0"},
        {23, 4, 1, entry1 + "cut short in its header, 19 of 20 bytes"},
        {99, 4, 0, entry1 + "unknown kind 0"},
        {99, 4, 7, entry1 + "unknown kind 7"},
        {99, 7, 1, entry1 + "its reserved bytes are not 0"},
        {99, 23, 0x80, entry1 + "its time is past the last a FILETIME holds"},
        {27, 4, 1, entry1 + "cut short before the length of its text at byte 24"},
        {31, 4, 1, entry1 + "its text of 2 code units at byte 28" + past},
        {99, 27, 0xFF, entry1 + "its text of 4278190082 code units at byte 28" + past},
        {33, 4, 1, entry2 + "cut short in its header, 1 of 20 bytes"},
        {65, 4, 1, entry2 + "its data of 2 code units at byte 62" + past},
        {98, 4, 1, "Batch entry 3 at byte 66: its data of 3 bytes at byte 96" + past},
        {100, 4, 1, "Batch entry 4 at byte 99: cut short in its header, 1 of 20 bytes"},
        // An empty text or data that ends the batch ends it exactly.
        {28, 24, 0, "read 1 entry"},
        {62, 58, 0, "read 2 entries"},
        {96, 92, 0, "read 3 entries"},
    };
    for (const auto& row : rows) {
        Bytes bytes = writer.Bytes();
        bytes.resize(row.size);
        if (row.offset < bytes.size()) bytes[row.offset] = row.value;
        std::string outcome;
        try {
            const size_t read = ReadBatch(bytes).size();
            outcome = "read " + std::to_string(read) + (read == 1 ? " entry" : " entries");
        } catch (const EBatchFormat& fault) {
            outcome = fault.what();
        }
        EXPECT_EQ(outcome, row.text);
    }
}

}  // namespace
}  // namespace norvale
