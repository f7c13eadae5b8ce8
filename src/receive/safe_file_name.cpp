#include "receive/safe_file_name.h"

namespace norvale {

namespace {

bool Refused(unsigned char c) { return c < 32 || c == 127 || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos; }

}  // namespace

std::string SafeForFileName(std::string_view value) {
    std::string safe(value);
    for (size_t i = 0; i < safe.size(); ++i) {
        const bool dotRun = safe[i] == '.' && ((i + 1 < safe.size() && value[i + 1] == '.') || (i > 0 && value[i - 1] == '.'));
        if (dotRun || Refused(static_cast<unsigned char>(safe[i]))) safe[i] = '_';
    }
    return safe;
}

}  // namespace norvale
