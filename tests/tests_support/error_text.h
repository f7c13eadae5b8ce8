#pragma once

#include <string>

namespace norvale::test {

// The message of the `Error` that `call` raises, or "(no error)".
template <typename Error, typename Call>
std::string ErrorText(Call&& call) {
    try {
        call();
    } catch (const Error& error) {
        return error.what();
    }
    return "(no error)";
}

}  // namespace norvale::test
