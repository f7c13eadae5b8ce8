#pragma once

#include <string>

namespace norvale::test {

#ifdef _WIN32
// The folder of the running test program, with its trailing backslash; the
// programs under test are built into the same folder.
std::string BinDirectory();
std::string NorvaleExePath();
#endif

// A name unique to this test process, for scratch keys, files and mutexes.
std::string UniqueTestName(const std::string& stem);

}  // namespace norvale::test
