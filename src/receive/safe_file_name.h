#pragma once

// A value a remote sender chose, made safe to stand in an output file's
// name: it can neither name a folder nor climb out of one.

#include <string>
#include <string_view>

namespace norvale {

// The characters Windows refuses in a file name (path separators, ":",
// "*", "?", the quote, "<", ">", "|" and the control characters) become
// "_", and so does every dot of a run of two or more.
std::string SafeForFileName(std::string_view value);

}  // namespace norvale
