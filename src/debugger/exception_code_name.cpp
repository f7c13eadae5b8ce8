#include "debugger/exception_code_name.h"

#include <algorithm>
#include <array>
#include <utility>

namespace norvale {

namespace {

// The misspellings and the padding of USER_APC are what users have always
// seen in the process window; they stay.
constexpr std::array<std::pair<uint32_t, std::string_view>, 31> kNames{{
    {0x00000000, "WAIT_0"},
    {0x00000080, "ABANDONED_WAIT_0"},
    {0x000000C0, "USER_APC                "},
    {0x00000102, "Timeout"},
    {0x00000103, "Pending"},
    {0x0EEDFADE, "Delphi Exception"},
    {0x40000005, "Segment notification"},
    {0x80000001, "Guard page violation"},
    {0x80000002, "Datatype misalignment"},
    {0x80000003, "Breakpoint"},
    {0x80000004, "Single step"},
    {0xC0000005, "Access violation"},
    {0xC0000006, "Page Error"},
    {0xC0000008, "Invalid Handle"},
    {0xC0000017, "no memory"},
    {0xC000001D, "Illegal instrcution"},
    {0xC0000025, "Noncontunuable exception"},
    {0xC0000026, "Invalid disposition"},
    {0xC000008C, "Array bounds exceeded"},
    {0xC000008D, "Float denormal operand"},
    {0xC000008E, "Float division by zero"},
    {0xC000008F, "Float inexact result"},
    {0xC0000090, "Float Invalid operation"},
    {0xC0000091, "Float stack overflow"},
    {0xC0000092, "Float stack check"},
    {0xC0000093, "Float underflow"},
    {0xC0000094, "Integer division by zero"},
    {0xC0000095, "Integer overflow"},
    {0xC0000096, "Privileged instruction"},
    {0xC00000FD, "Stack overflow"},
    {0xC000013A, "Control-C"},
}};

}  // namespace

std::string_view ExceptionCodeName(uint32_t code) {
    const auto found = std::find_if(kNames.begin(), kNames.end(), [code](const auto& row) { return row.first == code; });
    return found == kNames.end() ? std::string_view("Unknown Exception") : found->second;
}

}  // namespace norvale
