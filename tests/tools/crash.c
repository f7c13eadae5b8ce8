/* The debugger tests' crashing program: it waits for its debugger, then fails in post_invoice called from
   run_batch called from main. With CRASH_JUMP it calls through a bad pointer instead. Built with the DWARF
   that Wine's dbghelp reads (2 to 4). The lines of the three calls are pinned by the tests. */
#include <windows.h>

#ifdef _MSC_VER
#define NOINLINE __declspec(noinline)
#else
#define NOINLINE __attribute__((noinline))
#endif

static int* volatile nowhere = 0;
static void (*volatile bad_function)(int) = (void (*)(int))0x12345678;

NOINLINE void post_invoice(int amount) {
    *nowhere = amount; /* line 16 */
}

NOINLINE void run_batch(int count) {
#ifdef CRASH_JUMP
    bad_function(count); /* line 21 */
#else
    post_invoice(count * 100); /* line 23 */
#endif
}

int main(void) {
    for (DWORD waited = 0; !IsDebuggerPresent(); waited += 10) {
        if (waited > 20000) return 4;
        Sleep(10);
    }
    run_batch(3); /* line 32 */
    return 0;
}
