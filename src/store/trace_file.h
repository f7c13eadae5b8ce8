#pragma once

// A saved trace, written and read back. UTF-8, one row a line ending in
// CR LF; first a header line with the column names, tab-separated ("Date",
// then the window's nine columns), then each row's date (YYYY-MM-DD) and its
// nine columns as the window shows them, a tab, CR, LF or backslash in a
// text written as "\t", "\r", "\n", "\\". A block's further rows leave every
// column but the message empty, as they show. A row read without a date
// leaves the date empty; a row without a time (a line that did not parse when
// read) has "-" for its date, so that it reads back as a row of its own, not
// as a further row of the one before. Saved, read and saved again, a trace
// gives the same bytes.
//
// Reading takes the header's columns in the order it names them (names it
// does not know are skipped). A file without the header, as saved before
// there was one, is read as its lines are: the nine columns, Time first,
// without escapes. A line that does not parse (a field too many or too few,
// a time, date, number or escape that does not read) becomes a row of its
// own with the whole line in its message and no time, and is counted. A row
// with neither time nor source is plain, as such a line is: only the server's
// own notices, which have a time, are notices.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "store/trace_store.h"

namespace norvale {

inline constexpr std::wstring_view kDateColumnName = L"Date";

void AppendSavedTraceHeader(std::wstring& text);
// The rows, in the order given; rows that have left the store are left out.
// Call it inside `TTraceStore::Read`, a few thousand rows at a time.
void AppendSavedTraceRows(std::wstring& text, const TTraceRows& rows, std::span<const uint64_t> rowNumbers);

class TTraceFileReader {
public:
    // An entry read back, with its block's lines; `timeless` for a line that
    // did not parse. The entry's texts live until the call returns.
    using Sink = std::function<void(const TraceEntry& entry, const std::vector<std::wstring>& lines, bool timeless)>;

    explicit TTraceFileReader(Sink sink) : sink_(std::move(sink)) {}

    // The file's bytes in order, cut anywhere.
    void Feed(std::string_view bytes);
    // The last line, when the file does not end with a line end, and the
    // entry still waiting for further rows.
    void Finish();

    // Lines read as rows (the header not counted), and of them those that
    // did not parse.
    uint64_t Rows() const { return rows_; }
    uint64_t Unparsed() const { return unparsed_; }

private:
    // The fields of one line, by column; `Date` apart.
    struct TFields {
        std::wstring date;
        std::array<std::wstring, kTraceColumnCount> columns;
    };
    void Line(std::string_view bytes);
    bool ReadHeader(std::wstring_view line);
    bool Split(std::wstring_view line, TFields& fields) const;
    bool Row(const TFields& fields);
    void Unparsed(std::wstring line);
    void Flush();
    std::shared_ptr<const TraceSource> SourceOf(const TFields& fields, int32_t processId);

    Sink sink_;
    std::string partial_;
    bool headerLooked_ = false;
    bool escaped_ = false;
    // Each field's column, in the file's order: a `TraceColumn`, `kDate`, or
    // `kSkipped`.
    std::vector<int> layout_;
    uint64_t rows_ = 0;
    uint64_t unparsed_ = 0;

    // The entry read last, until a row that is not one of its further rows.
    std::optional<TraceEntry> entry_;
    std::wstring text_;
    std::vector<std::wstring> lines_;
    bool timeless_ = false;
    std::map<std::tuple<std::wstring, std::wstring, std::wstring, std::wstring, int32_t>,
             std::shared_ptr<const TraceSource>>
        sources_;
};

}  // namespace norvale
