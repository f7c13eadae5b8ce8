#pragma once

#ifdef _WIN32

// Under Wine a Windows program can start a Unix program, but the handle it
// gets is no real one: what the Unix program does is watched through what it
// leaves behind (a port, a file).

#include <string>

namespace norvale::test {

// `path` on drive Z:, which Wine maps to the Unix root; false when it did
// not start.
bool StartUnixProgram(const std::string& path, std::string commandLine);

// "Z:\tmp\x" as the Unix side names it, "/tmp/x".
std::string UnixPath(std::string path);

}  // namespace norvale::test

#endif
