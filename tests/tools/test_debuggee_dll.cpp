// The library the test debuggee loads and frees, so that a debugger sees a
// DLL load and unload of a module that is the tests' own. It does nothing; it
// is linked statically so that it loads from a scratch folder with nothing
// else beside it.

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
