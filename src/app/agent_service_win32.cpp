#include "app/agent_service_win32.h"

#include <windows.h>

#include <chrono>
#include <thread>

#include "app/agent_process.h"
#include "app/agent_service.h"
#include "common/system_error.h"
#include "common/utf8_text.h"
#include "common/win32_resources.h"
#include "config/registry_api.h"
#include "config/registry_values.h"

namespace norvale {

namespace {

static_assert(SERVICE_STOPPED == 1 && SERVICE_START_PENDING == 2 && SERVICE_STOP_PENDING == 3 &&
              SERVICE_RUNNING == 4 && SERVICE_ACCEPT_STOP == 1 && SERVICE_ACCEPT_SHUTDOWN == 4 &&
              ERROR_SERVICE_SPECIFIC_ERROR == 1066);

// The one message of the agent's event source (agent_messages.mc): its text
// is the insertion string.
constexpr DWORD kAgentTextMessage = 1;
constexpr auto kStopWait = std::chrono::seconds(10);

int Failed(const AgentTell& tell, const std::string& what) {
    tell(AgentRefusalOf(kAgentFailed, what + ": " + SystemErrorText(GetLastError())).line);
    return kAgentFailed;
}

void SetDword(const char* subkey, const char* name, DWORD value) {
    RegKey key = nullptr;
    if (RegApiCreateKey(RegLocalMachine(), subkey, RegAccess::Write, &key) != ERROR_SUCCESS) return;
    RegApiSetValue(key, name, REG_DWORD, reinterpret_cast<const uint8_t*>(&value), sizeof value);
    RegApiCloseKey(key);
}

// The agent's lines in the Application log, as Event Viewer shows them.
class TAgentEventLog {
public:
    TAgentEventLog() : source_(RegisterEventSourceA(nullptr, kAgentEventSource)) {}
    void Write(WORD type, const std::string& line) const {
        if (!source_) return;
        const std::wstring text = Utf8ToWide(line);
        const wchar_t* strings[] = {text.c_str()};
        ReportEventW(source_.get(), type, 0, kAgentTextMessage, nullptr, 1, 0, strings, nullptr);
    }

private:
    UniqueEventSource source_;
};

// The run the service control manager started. Its dispatcher calls
// ServiceMain and the control handler with no context of ours.
struct TServiceRun {
    const AgentPlace& place;
    UniqueHandle stop;
    SERVICE_STATUS_HANDLE status = nullptr;
    int exitCode = kAgentEnded;
};
TServiceRun* serviceRun = nullptr;

void ReportPhase(ServicePhase phase, int agentExit = 0) {
    const ServiceStatusValues values = ServiceStatusOf(phase, agentExit);
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, values.state,           values.controlsAccepted,
                          values.win32ExitCode,      values.serviceExitCode, 0,
                          values.waitHintMs};
    SetServiceStatus(serviceRun->status, &status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            ReportPhase(ServicePhase::Stopping);
            SetEvent(serviceRun->stop.get());
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
        default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    serviceRun->status = RegisterServiceCtrlHandlerExW(kAgentServiceName, ServiceControl, nullptr);
    if (serviceRun->status == nullptr) return;
    ReportPhase(ServicePhase::Starting);
    const TAgentEventLog log;
    AgentRunHooks hooks;
    hooks.tell = [&](const std::string& line) { log.Write(EVENTLOG_ERROR_TYPE, line); };
    hooks.running = [&] {
        ReportPhase(ServicePhase::Running);
        log.Write(EVENTLOG_INFORMATION_TYPE, WideToUtf8(kAgentStartingUp));
    };
    hooks.notices = true;
    try {
        serviceRun->exitCode = RunAgent(serviceRun->place, serviceRun->stop.get(), hooks);
    } catch (const std::exception& failure) {
        hooks.tell(AgentRefusalOf(kAgentFailed, failure.what()).line);
        serviceRun->exitCode = kAgentFailed;
    }
    if (serviceRun->exitCode == kAgentEnded) log.Write(EVENTLOG_INFORMATION_TYPE, WideToUtf8(kAgentShuttingDown));
    ReportPhase(ServicePhase::Stopped, serviceRun->exitCode);
}

}  // namespace

bool IsAdministrator() {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
           CheckTokenMembership(nullptr, sid, &member) && member;
}

int InstallAgentService(const std::string& programPath, const std::optional<std::string>& account, bool administrator,
                        const AgentTell& tell) {
    if (!administrator) {
        tell(AgentRefusalOf(kAgentNotAdministrator, "installing the service needs an administrator").line);
        return kAgentNotAdministrator;
    }
    const AgentServiceInstall plan = AgentServiceInstallOf(programPath, account);
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return Failed(tell, "the service control manager cannot be opened");
    const std::wstring commandLine = Utf8ToWide(plan.commandLine), accountName = Utf8ToWide(plan.account);
    const UniqueServiceHandle service(CreateServiceW(manager.get(), kAgentServiceName, kAgentServiceDisplayName,
                                                     SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                                     SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine.c_str(),
                                                     nullptr, nullptr, nullptr, accountName.c_str(), nullptr));
    if (!service) return Failed(tell, "the service cannot be installed");
    std::wstring description = Utf8ToWide(plan.description);
    SERVICE_DESCRIPTIONW describing{description.data()};
    SC_ACTION restart{SC_ACTION_RESTART, plan.restartDelayMs};
    SERVICE_FAILURE_ACTIONSW recovery{plan.failureResetSeconds, nullptr, nullptr, 1, &restart};
    // Wine keeps neither; Windows keeps both.
    ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &describing);
    ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &recovery);
    RegKey key = nullptr;
    if (RegApiCreateKey(RegLocalMachine(), kAgentKey, RegAccess::Write, &key) == ERROR_SUCCESS) RegApiCloseKey(key);
    WriteRegString(RegLocalMachine(), kAgentEventSourceKey, "EventMessageFile", programPath);
    SetDword(kAgentEventSourceKey, "TypesSupported",
             EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE);
    tell("norvale-agent: the service \"Norvale Agent\" is installed; it starts with Windows, or now with "
         "\"sc start NorvaleAgent\"");
    return kAgentEnded;
}

int UninstallAgentService(bool administrator, const AgentTell& tell) {
    if (!administrator) {
        tell(AgentRefusalOf(kAgentNotAdministrator, "uninstalling the service needs an administrator").line);
        return kAgentNotAdministrator;
    }
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return Failed(tell, "the service control manager cannot be opened");
    const UniqueServiceHandle service(
        OpenServiceW(manager.get(), kAgentServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) return Failed(tell, "the service \"Norvale Agent\" cannot be opened");
    SERVICE_STATUS status{};
    if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        const auto deadline = std::chrono::steady_clock::now() + kStopWait;
        while (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    if (!DeleteService(service.get())) return Failed(tell, "the service cannot be removed");
    RegApiDeleteTree(RegLocalMachine(), kAgentEventSourceKey);
    RegApiDeleteTree(RegLocalMachine(), kAgentKey);
    tell("norvale-agent: the service \"Norvale Agent\" is removed");
    return kAgentEnded;
}

int ServeAgent(const AgentPlace& place) {
    TServiceRun run{place, UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr))};
    serviceRun = &run;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kAgentServiceName), ServiceMain}, {nullptr, nullptr}};
    const bool dispatched = StartServiceCtrlDispatcherW(table);
    serviceRun = nullptr;
    if (!dispatched) {
        TAgentEventLog().Write(EVENTLOG_ERROR_TYPE,
                               AgentRefusalOf(kAgentCannotStart, "/Service is for the service control manager: " +
                                                                     SystemErrorText(GetLastError()))
                                   .line);
        return kAgentCannotStart;
    }
    return run.exitCode;
}

}  // namespace norvale
