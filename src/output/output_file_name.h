#pragma once

// The output file's name for an entry: the template with the session's
// values in place of its placeholders, where each path component a value
// made is a plain file of its folder, and no expanded name is another's
// older file. Plain code over plain values; the file output applies it.

#include <string>
#include <string_view>

#include "common/session_naming.h"

namespace norvale {

// Where the values that fill the placeholders come from.
enum class NameValues {
    // A local session's: expanded one placeholder after the other, as
    // documented, so that a value holding a later placeholder is expanded too.
    Local,
    // Another machine's: each placeholder of the template once, a value never
    // read again for placeholders.
    Received,
};

inline constexpr size_t kMaxOutputFileNameLength = 259;
inline constexpr size_t kMaxFileNameComponentLength = 255;

// The template with the session's fields in place of its placeholders, one
// after the other in the order project, module, class, machine, process;
// without a session, the template as it is.
std::string ExpandFileName(const std::string& fileNameTemplate, const SessionNaming* session);

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 (also with the digits
// ¹²³ in the code page or in UTF-8), in any case, as Windows reads a file
// name: with any extension, and spaces or a colon before it.
bool IsDeviceName(std::string_view component);

// Without a session, or when the template holds no placeholder, the template
// as it is. Otherwise the expanded name, where each path component a value
// made (or an empty value stood in) is made plain: "_" before a device name,
// "_" for a last dot or space (a received ".." becomes "._"; a local session's
// "." and ".." name folders, as they always did), cut at 255 characters,
// and with received values "_" for an empty component. The whole name is cut
// at 259 characters, its last component made plain again after the cut. A
// name whose last component reads as an older file's (`NAME.N.EXT` or
// `NAME.N`, N decimal digits) has "_" for the dot before N, so that no
// expanded name is another's older file.
std::string OutputFileName(const std::string& fileNameTemplate, const SessionNaming* session, NameValues values);

}  // namespace norvale
