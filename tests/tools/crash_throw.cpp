// The debugger tests' program that throws and catches nothing: it waits for
// its debugger, then throws in post_invoice called from run_batch called
// from main. The runtime's terminate ends it (exit code 3 under mingw-w64).
// The lines of the throw and the two calls are pinned by the tests.
#include <windows.h>

#ifdef _MSC_VER
#define NOINLINE __declspec(noinline)
#else
#define NOINLINE __attribute__((noinline))
#endif

#include <stdexcept>

NOINLINE void post_invoice(int amount) {
    if (amount > 0) throw std::runtime_error("no invoice");  // line 16
}

NOINLINE void run_batch(int count) {
    post_invoice(count * 100);  // line 20
}

int main() {
    for (DWORD waited = 0; !IsDebuggerPresent(); waited += 10) {
        if (waited > 20000) return 4;
        Sleep(10);
    }
    run_batch(3);  // line 28
    return 0;
}
