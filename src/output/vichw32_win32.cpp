#include <windows.h>

#include "common/win32_resources.h"
#include "output/vichw32.h"

namespace norvale {

namespace {

UniqueServiceHandle OpenDriverService(const std::string& name, DWORD managerAccess, DWORD serviceAccess) {
    const UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, managerAccess));
    if (!manager) return {};
    return UniqueServiceHandle(OpenServiceA(manager.get(), name.c_str(), serviceAccess));
}

class TSystemVicHw final : public IVicHwSystem {
public:
    Device OpenDevice(const std::string& path, bool deleteOnClose) override {
        UniqueHandle device(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0, nullptr));
        return device ? reinterpret_cast<Device>(device.release()) : 0;
    }

    bool DeviceControl(Device device, uint32_t code, std::span<const uint8_t> input,
                       std::span<uint8_t> output) override {
        DWORD returned = 0;
        return DeviceIoControl(reinterpret_cast<HANDLE>(device), code, const_cast<uint8_t*>(input.data()),
                               static_cast<DWORD>(input.size()), output.data(), static_cast<DWORD>(output.size()),
                               &returned, nullptr) != FALSE;
    }

    void CloseDevice(Device device) override { UniqueHandle(reinterpret_cast<HANDLE>(device)); }

    ServiceStart StartDriverService(const std::string& name) override {
        const UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (!manager) return ServiceStart::Failed;
        const UniqueServiceHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_START));
        if (!service) {
            return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceStart::Missing : ServiceStart::Failed;
        }
        if (StartServiceA(service.get(), 0, nullptr)) return ServiceStart::Started;
        return GetLastError() == ERROR_SERVICE_ALREADY_RUNNING ? ServiceStart::AlreadyRunning : ServiceStart::Failed;
    }

    bool CreateDriverService(const std::string& name, const std::string& binaryPath) override {
        // A service for a driver file that is not there could never start:
        // such a machine simply has no driver, and gets no service for it.
        if (GetFileAttributesA(binaryPath.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
        const UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
        if (!manager) return false;
        const UniqueServiceHandle service(CreateServiceA(manager.get(), name.c_str(), name.c_str(),
                                                         SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                                         SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                         binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr,
                                                         nullptr));
        return static_cast<bool>(service);
    }

    void StopDriverService(const std::string& name) override {
        const UniqueServiceHandle service = OpenDriverService(name, SC_MANAGER_CONNECT, SERVICE_STOP);
        SERVICE_STATUS status{};
        if (service) ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    }

    void DeleteDriverService(const std::string& name) override {
        const UniqueServiceHandle service = OpenDriverService(name, SC_MANAGER_CONNECT, DELETE);
        if (service) ::DeleteService(service.get());
    }

    std::string WindowsDirectory() override {
        char path[MAX_PATH] = {};
        const UINT length = GetWindowsDirectoryA(path, MAX_PATH);
        return std::string(path, length < MAX_PATH ? length : 0);
    }
};

}  // namespace

std::unique_ptr<IVicHwSystem> MakeSystemVicHw() { return std::make_unique<TSystemVicHw>(); }

}  // namespace norvale
