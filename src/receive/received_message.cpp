#include "receive/received_message.h"

#include <array>
#include <tuple>

#include "common/ansi_text.h"
#include "common/utf8_text.h"

namespace norvale {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kNil = "-";
constexpr std::string_view kNorvaleApp = "Norvale";
constexpr std::string_view kNorvaleData = "norvale@32473";
constexpr unsigned kMostPriority = 191;
constexpr int64_t kTicksPerSecond = 10000000;
// From 1601-01-01, where the ticks start, to 1970-01-01.
constexpr int64_t kDaysTo1970 = 134774;

// UTF-8 when it is; otherwise, as a sender without a byte-order mark may
// mean, the code page.
std::wstring TextOf(std::string_view bytes) { return IsUtf8(bytes) ? Utf8ToWide(bytes) : AnsiToWide(bytes); }

// A message's text ends where its line does: some senders end a datagram
// with a line feed, and rsyslog's templates end a message with one.
std::string_view WithoutLineEnd(std::string_view text) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (text.ends_with('\r')) text.remove_suffix(1);
    return text;
}

// The message, read from its front: each step says whether the text goes on
// as it should, and takes what it read only then.
class TCursor {
public:
    explicit TCursor(std::string_view text) : rest_(text) {}

    bool Take(std::string_view expected) {
        if (!rest_.starts_with(expected)) return false;
        rest_.remove_prefix(expected.size());
        return true;
    }
    // At least `least` and at most `most` decimal digits.
    std::optional<unsigned> Number(size_t least, size_t most) {
        size_t count = 0;
        unsigned value = 0;
        while (count < most && count < rest_.size() && rest_[count] >= '0' && rest_[count] <= '9') {
            value = value * 10 + static_cast<unsigned>(rest_[count++] - '0');
        }
        if (count < least) return std::nullopt;
        rest_.remove_prefix(count);
        return value;
    }
    // 1 to `most` printable ASCII characters up to a space or the end,
    // none of `refused`.
    std::optional<std::string_view> Word(size_t most, std::string_view refused = {}) {
        size_t count = 0;
        while (count < rest_.size() && rest_[count] > 32 && rest_[count] < 127 &&
               refused.find(rest_[count]) == std::string_view::npos) {
            ++count;
        }
        if (count == 0 || count > most) return std::nullopt;
        const std::string_view word = rest_.substr(0, count);
        rest_.remove_prefix(count);
        return word;
    }
    // The parameter value of structured data up to its closing quote, with
    // the escapes RFC 5424 knows undone (a backslash before anything else
    // stays), into `value` unless it is nullptr. False when no quote closes it.
    bool Quoted(std::string* value) {
        if (value != nullptr) value->clear();
        for (size_t i = 0; i < rest_.size(); ++i) {
            char c = rest_[i];
            if (c == '"') {
                rest_.remove_prefix(i + 1);
                return true;
            }
            if (c == '\\' && i + 1 < rest_.size() && std::string_view("\"\\]").find(rest_[i + 1]) != std::string_view::npos) {
                c = rest_[++i];
            }
            if (value != nullptr) *value += c;
        }
        return false;
    }
    bool AtEnd() const { return rest_.empty(); }
    char Next() const { return rest_.empty() ? '\0' : rest_.front(); }
    std::string_view Rest() const { return rest_; }

private:
    std::string_view rest_;
};

bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
    constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

// RFC 5424's TIMESTAMP without its NILVALUE:
// YYYY-MM-DDThh:mm:ss[.1 to 6 digits](Z|+hh:mm|-hh:mm). False when it is
// none; `utcTicks` stays empty for a time before the ticks start.
bool ReadTimestamp(TCursor& at, std::optional<uint64_t>& utcTicks) {
    const auto year = at.Number(4, 4);
    if (!year || !at.Take("-")) return false;
    const auto month = at.Number(2, 2);
    if (!month || *month < 1 || *month > 12 || !at.Take("-")) return false;
    const auto day = at.Number(2, 2);
    if (!day || *day < 1 || *day > DaysInMonth(*year, *month) || !at.Take("T")) return false;
    const auto hour = at.Number(2, 2);
    if (!hour || *hour > 23 || !at.Take(":")) return false;
    const auto minute = at.Number(2, 2);
    if (!minute || *minute > 59 || !at.Take(":")) return false;
    const auto second = at.Number(2, 2);
    if (!second || *second > 59) return false;
    int64_t fraction = 0;
    if (at.Take(".")) {
        const std::string_view digits = at.Rest();
        const auto value = at.Number(1, 6);
        if (!value) return false;
        fraction = *value;
        for (size_t scale = digits.size() - at.Rest().size(); scale < 7; ++scale) fraction *= 10;
    }
    int64_t offsetSeconds = 0;
    if (!at.Take("Z")) {
        const int sign = at.Take("+") ? 1 : at.Take("-") ? -1 : 0;
        const auto offsetHour = sign != 0 ? at.Number(2, 2) : std::nullopt;
        if (!offsetHour || *offsetHour > 23 || !at.Take(":")) return false;
        const auto offsetMinute = at.Number(2, 2);
        if (!offsetMinute || *offsetMinute > 59) return false;
        offsetSeconds = sign * static_cast<int64_t>(*offsetHour * 3600 + *offsetMinute * 60);
    }
    const int64_t seconds = (DaysFromCivil(*year, *month, *day) + kDaysTo1970) * 86400 + *hour * 3600 +
                            *minute * 60 + *second - offsetSeconds;
    if (seconds >= 0) utcTicks = static_cast<uint64_t>(seconds * kTicksPerSecond + fraction);
    return true;
}

// RFC 5424's SD-NAME: printable ASCII but "=", "]" and the quote.
constexpr std::string_view kNotInName = "=]\"";
constexpr size_t kMostName = 32;

// What Norvale's own element carries back into an entry's fields.
struct TNorvaleData {
    std::string project;
    std::string module;
    std::string className;
    std::string thread;
    std::string code;
};

std::string* FieldOf(TNorvaleData& data, std::string_view name) {
    if (name == "project") return &data.project;
    if (name == "module") return &data.module;
    if (name == "class") return &data.className;
    if (name == "thread") return &data.thread;
    if (name == "code") return &data.code;
    return nullptr;
}

// STRUCTURED-DATA after its NILVALUE was ruled out: one element or more,
// every one read through; the parameters of Norvale's own element kept, the
// last of a name that comes twice.
bool ReadStructuredData(TCursor& at, std::optional<TNorvaleData>& norvale) {
    if (at.Next() != '[') return false;
    while (at.Take("[")) {
        const auto id = at.Word(kMostName, kNotInName);
        if (!id) return false;
        TNorvaleData read;
        const bool ours = *id == kNorvaleData;
        while (at.Take(" ")) {
            const auto name = at.Word(kMostName, kNotInName);
            if (!name || !at.Take("=\"") || !at.Quoted(ours ? FieldOf(read, *name) : nullptr)) return false;
        }
        if (!at.Take("]")) return false;
        if (ours) norvale = std::move(read);
    }
    return true;
}

// A decimal number that fits, or 0: PROCID may be any word.
int32_t ProcessIdOf(std::string_view word) {
    if (word.empty() || word.size() > 10 || word.find_first_not_of("0123456789") != std::string_view::npos) return 0;
    const uint64_t value = std::stoull(std::string(word));
    return value <= INT32_MAX ? static_cast<int32_t>(value) : 0;
}

// Eight hexadecimal digits as Norvale sends a thread or a code; 0 for any
// other text.
int32_t HexOf(std::string_view text) {
    if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
        return 0;
    }
    return static_cast<int32_t>(std::stoul(std::string(text), nullptr, 16));
}

std::wstring WithoutPrefix(std::wstring text, std::wstring_view prefix) {
    if (text.starts_with(prefix)) text.erase(0, prefix.size());
    return text;
}

// The fields Norvale's own message carries, back in place.
void ReadNorvaleFields(ReceivedMessage& read, const TNorvaleData& data, std::string_view messageId) {
    read.project = Utf8ToWide(data.project);
    read.module = Utf8ToWide(data.module);
    read.className = Utf8ToWide(data.className);
    read.threadId = HexOf(data.thread);
    read.code = HexOf(data.code);
    if (messageId == "enter") {
        read.kind = MessageKind::EnterMethod;
        read.text = WithoutPrefix(std::move(read.text), L"-> ");
    } else if (messageId == "exit") {
        read.kind = MessageKind::ExitMethod;
        read.text = WithoutPrefix(std::move(read.text), L"<- ");
    } else if (messageId == "block" || messageId == "crash") {
        read.kind = messageId == "block" ? MessageKind::Block : MessageKind::Crash;
        const size_t lineEnd = read.text.find(L'\n');
        if (lineEnd != std::wstring::npos) {
            read.further = read.text.substr(lineEnd + 1);
            read.text.resize(lineEnd);
        }
    } else if (messageId == "notice") {
        read.kind = MessageKind::Notice;
    } else {
        read.kind = MessageKindFromCode(read.code);
    }
}

std::optional<ReceivedMessage> Read5424(TCursor& at, unsigned priority, std::string_view sender) {
    ReceivedMessage read;
    if (!at.Take("1 ")) return std::nullopt;
    if (!at.Take(kNil) && !ReadTimestamp(at, read.utcTicks)) return std::nullopt;
    std::optional<std::string_view> fields[4];
    constexpr size_t kMost[4] = {255, 48, 128, 32};  // HOSTNAME, APP-NAME, PROCID, MSGID
    for (size_t i = 0; i < 4; ++i) {
        if (!at.Take(" ") || !(fields[i] = at.Word(kMost[i]))) return std::nullopt;
    }
    const auto [host, app, processId, messageId] = std::tuple(*fields[0], *fields[1], *fields[2], *fields[3]);
    std::optional<TNorvaleData> norvale;
    if (!at.Take(" ") || (!at.Take(kNil) && !ReadStructuredData(at, norvale))) return std::nullopt;
    if (!at.AtEnd() && !at.Take(" ")) return std::nullopt;
    std::string_view text = WithoutLineEnd(at.Rest());
    read.text = text.starts_with(kByteOrderMark) ? Utf8ToWide(text.substr(kByteOrderMark.size())) : TextOf(text);
    read.machine = host == kNil ? TextOf(sender) : TextOf(host);
    read.processId = ProcessIdOf(processId);
    if (app == kNorvaleApp && norvale) {
        ReadNorvaleFields(read, *norvale, messageId);
    } else {
        if (app != kNil) read.module = TextOf(app);
        read.code = static_cast<int32_t>(priority % 8);
        read.kind = MessageKindFromCode(read.code);
    }
    return read;
}

// RFC 3164's TIMESTAMP, "Mmm dd hh:mm:ss" with the day padded by a space:
// it has neither year nor offset, so the arrival's time counts.
bool ReadBsdTimestamp(TCursor& at) {
    static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    bool month = false;
    for (const std::string_view name : kMonths) month = month || at.Take(name);
    if (!month || !at.Take(" ")) return false;
    at.Take(" ");
    const auto day = at.Number(1, 2);
    if (!day || *day < 1 || *day > 31 || !at.Take(" ")) return false;
    const auto hour = at.Number(2, 2);
    if (!hour || *hour > 23 || !at.Take(":")) return false;
    const auto minute = at.Number(2, 2);
    if (!minute || *minute > 59 || !at.Take(":")) return false;
    const auto second = at.Number(2, 2);
    return second && *second <= 59 && at.Take(" ");
}

// TAG, "[PID]" and ":" before the content, when the text begins so.
bool ReadTag(TCursor& at, ReceivedMessage& read) {
    TCursor tag = at;
    const auto name = tag.Word(48, "[:");
    if (!name) return false;
    int32_t processId = 0;
    if (tag.Take("[")) {
        const auto id = tag.Word(10, "]");
        if (!id || !tag.Take("]")) return false;
        processId = ProcessIdOf(*id);
    }
    if (!tag.Take(":")) return false;
    tag.Take(" ");
    read.module = TextOf(*name);
    read.processId = processId;
    at = tag;
    return true;
}

std::optional<ReceivedMessage> Read3164(TCursor& at, unsigned priority, std::string_view sender) {
    if (!ReadBsdTimestamp(at)) return std::nullopt;
    ReceivedMessage read;
    // A sender on the same machine may leave the host out: the tag comes first.
    if (!ReadTag(at, read)) {
        const auto host = at.Word(255);
        if (!host) return std::nullopt;
        read.machine = TextOf(*host);
        at.Take(" ");
        ReadTag(at, read);
    }
    if (read.machine.empty()) read.machine = TextOf(sender);
    read.text = TextOf(WithoutLineEnd(at.Rest()));
    read.code = static_cast<int32_t>(priority % 8);
    read.kind = MessageKindFromCode(read.code);
    return read;
}

}  // namespace

ReceivedMessage ReadReceivedMessage(std::string_view message, std::string_view sender) {
    TCursor at(message);
    std::optional<ReceivedMessage> read;
    const auto priority = at.Take("<") ? at.Number(1, 3) : std::nullopt;
    if (priority && *priority <= kMostPriority && at.Take(">")) {
        read = at.Next() == '1' && at.Rest().substr(1, 1) == " " ? Read5424(at, *priority, sender)
                                                                 : Read3164(at, *priority, sender);
    }
    if (read) return std::move(*read);
    ReceivedMessage whole;
    whole.machine = TextOf(sender);
    whole.text = TextOf(message);
    whole.malformed = true;
    return whole;
}

}  // namespace norvale
