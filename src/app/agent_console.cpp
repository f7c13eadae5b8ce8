#include "app/agent_console.h"

#include "common/errors.h"

namespace norvale {

namespace {

UniqueHandle ManualResetEvent() {
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) throw ENorvaleError("cannot make the agent's stop event", HRESULT_FROM_WIN32(GetLastError()));
    return event;
}

}  // namespace

TAgentConsole::TAgentConsole(EndProcess endProcess)
    : stop_(ManualResetEvent()), ended_(ManualResetEvent()), endProcess_(std::move(endProcess)) {
    // A program started with Ctrl+C ignored (cmd's "start /b", a parent that
    // ignores it: the flag is inherited) gets it only once it asks again.
    SetConsoleCtrlHandler(nullptr, FALSE);
}

int TAgentConsole::Ended(int code) {
    code_ = code;
    SetEvent(ended_.get());
    return code;
}

void TAgentConsole::ExitWith(int code) { ExitProcess(static_cast<UINT>(code)); }

BOOL TAgentConsole::OnEvent(DWORD) {
    SetEvent(stop_.get());
    if (WaitForSingleObject(ended_.get(), kEndWaitMilliseconds) != WAIT_OBJECT_0) {
        // The run did not end in time: the system ends the process its way.
        return FALSE;
    }
    endProcess_(code_);
    return TRUE;
}

}  // namespace norvale
