# Cross-compiles the Windows program with the posix-threads mingw-w64 toolchain
# (the win32-threads variant has no std::thread / std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Without address-space randomisation, as the entry script runs every Wine
# program: with it, Debian's Wine loader now and then puts its heap where the
# shared user data must go and ends at once, and the test fails unstarted.
set(CMAKE_CROSSCOMPILING_EMULATOR setarch x86_64 -R wine)
