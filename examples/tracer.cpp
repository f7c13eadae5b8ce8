// A compiled client that traces through norvale::Tracer: each line costs the
// calling thread about a microsecond, and the tracer's own thread sends them
// in batches. No COM set-up is needed here: the tracer's thread does its own.
//
// Build against the package's include folder and Norvale_i.c with a compiler
// whose library has threads: the README gives the command lines.

#include <chrono>
#include <cstdio>
#include <string>

#include <norvale/tracer.h>

int main() {
    norvale::Tracer tracer(L"Billing", L"Core", L"TInvoice");
    tracer.Message(L"Posting started");
    {
        norvale::TTracerMethod method(tracer, L"Post");
        for (int line = 1; line <= 1000; ++line) tracer.Message(L"Invoice line " + std::to_wstring(line), line);
        const unsigned char header[] = {'I', 'N', 'V', 1, 0, 0xFF};
        tracer.Binary(L"Invoice header", header, sizeof header);
    }
    tracer.Strings(L"Totals", L"net 100.00\r\ntax 19.00\r\n");
    tracer.Message(L"Posting done");
    // Waits 10 s at most: a server that does not answer never holds the program.
    if (!tracer.Flush(std::chrono::seconds(10))) {
        std::fprintf(stderr, "Norvale did not take the entries within 10 s\n");
        return 1;
    }
    // What could not be sent is counted, never waited for.
    if (tracer.Dropped() != 0) {
        std::fprintf(stderr, "%llu entries did not reach Norvale\n", static_cast<unsigned long long>(tracer.Dropped()));
        return 1;
    }
    return 0;
}
