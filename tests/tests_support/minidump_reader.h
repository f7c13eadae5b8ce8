#pragma once

#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace norvale::test {

// Read as a debugger opens it, through dbghelp's stream directory on a mapped
// view: whether the file is a minidump with a thread list, `program` (the
// end of a module's path) in its module list, and an exception stream with
// `code` on one of those threads, at `address` unless it is 0.
testing::AssertionResult IsDumpOfCrash(const std::string& path, const std::string& program, uint32_t code,
                                       uint64_t address = 0);

}  // namespace norvale::test

#endif
