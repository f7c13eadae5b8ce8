#pragma once

// Helpers for the tests that are real clients of the automation server: the
// server registered once for the whole run, the user's output settings set
// per test, the output file read back, and BSTR/VARIANT builders.

#include <windows.h>
#include <oleauto.h>

#include <initializer_list>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/com_ptr.h"
#include "norvale/Norvale_h.h"
#include "tests_support/scratch.h"

namespace norvale::test {

std::string NorvaleExe();

// A BSTR owned for one expression.
class Bstr {
public:
    explicit Bstr(const wchar_t* text) : value_(SysAllocString(text)) {}
    explicit Bstr(const std::wstring& text)
        : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return value_; }

private:
    BSTR value_;
};

// The user's output settings for one test, written to the real key that the
// server reads; the key is emptied first so that every other value is its
// default. The output file lies in a folder of the test's own and each line
// reaches the disk when its call returns.
class OutputSetup {
public:
    explicit OutputSetup(std::initializer_list<const char*> flagsOn);
    ~OutputSetup();
    void Set(const std::string& name, const std::string& value);
    std::string FilePath() const { return file_; }
    std::vector<std::string> Lines() const;
    // The file's last line; empty when the file holds none.
    std::string LastLine() const;
    // Waits (bounded) until the file's last line is `last`; gives the lines.
    std::vector<std::string> LinesEndingWith(const std::string& last, DWORD milliseconds = 20000) const;

private:
    ScratchDirectory dir_;
    std::string file_;
};

ComPtr<INorvale> ActivateNorvale(HRESULT* result = nullptr);

// A VARIANT holding a safe array of VARIANTs with these numbers, as VBScript's
// Array(...) makes it.
void MakeVariantArray(VARIANT& out, std::initializer_list<int> numbers);

// A VARIANT holding a safe array of these bytes (VT_ARRAY | VT_UI1).
void MakeByteArray(VARIANT& out, const std::vector<uint8_t>& bytes);

// Runs a program to its end (bounded); gives its exit code, -1 on timeout.
int64_t RunProgram(const std::string& commandLine, DWORD milliseconds = 60000);

// The 32-bit script host of a 64-bit system; empty when it has none.
std::string Bits32ScriptHost();

// Runs a script of tests/com/scripts with a script host (a path without
// spaces), the system's unless told; gives its exit code and, through
// `output`, what it printed.
int64_t RunScript(const std::string& scriptName, std::string* output = nullptr,
                  const std::string& host = "cscript.exe");

// The command line of a load client (norvale_test_helper clients): `threads`
// sessions "<tag>t<n>", each sending `messages` numbered messages, every 25th
// followed by a block.
std::string LoadClientCommand(const std::string& tag, int threads, int messages);

// The same load from one Tracer (norvale_test_helper tracer), until its
// messages are sent or the named stop event is set.
std::string TracerClientCommand(const std::string& tag, int threads, int messages, const std::string& stopEvent = {});

// A tracer's program sending to the server that `output` sets up when
// `endServer` ends it: the program ends normally once told to stop, and
// reports what it dropped.
void CheckATracerOutlivesItsServer(const OutputSetup& output, const std::function<void()>& endServer);

// Checks the lines of load clients: each session's messages "m<n>" in order,
// after every 25th its block "b<n>" with its three lines right below it, and
// the full count for every tag but `cutShortTag` (a client killed midway,
// whose lines must still be whole and in order).
void CheckLoad(const std::vector<std::string>& lines, const std::map<std::string, int>& messagesByTag, int threads,
               const std::string& cutShortTag = {});

}  // namespace norvale::test
