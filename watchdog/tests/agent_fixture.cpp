#include "agent_fixture.h"

#include "contract.h"
#include "doubles_fixture.h"
#include "handles.h"
#include "test_names.h"
#include "test_support.h"
#include "watchdog_seams.h"

#include <string>

namespace svc {

namespace {

// The manager stays open as long as the service handle.
struct service_ref {
    unique_sc_handle manager;
    unique_sc_handle service;
    explicit operator bool() const { return static_cast<bool>(service); }
    SC_HANDLE get() const { return service.get(); }
};

service_ref open_service(const char* name, DWORD access)
{
    service_ref ref;
    ref.manager.reset(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (ref.manager)
        ref.service.reset(OpenServiceA(ref.manager.get(), name, access));
    return ref;
}

} // namespace

bool status(const char* name, SERVICE_STATUS* out)
{
    service_ref service = open_service(name, SERVICE_QUERY_STATUS);
    return service && QueryServiceStatus(service.get(), out);
}

DWORD state(const char* name)
{
    SERVICE_STATUS s = {};
    return status(name, &s) ? s.dwCurrentState : 0;
}

bool interrogate(const char* name)
{
    service_ref service = open_service(name, SERVICE_INTERROGATE);
    SERVICE_STATUS s = {};
    return service && ControlService(service.get(), SERVICE_CONTROL_INTERROGATE, &s);
}

bool exists(const char* name)
{
    return static_cast<bool>(open_service(name, SERVICE_QUERY_STATUS));
}

bool wait_state(const char* name, DWORD wanted, DWORD timeout_ms)
{
    return ts::wait_until([&] { return state(name) == wanted; }, timeout_ms);
}

bool start(const char* name)
{
    service_ref service = open_service(name, SERVICE_START);
    return service && StartServiceA(service.get(), 0, nullptr);
}

bool stop(const char* name, DWORD timeout_ms)
{
    DWORD now = state(name);
    if (now == 0 || now == SERVICE_STOPPED)
        return now == SERVICE_STOPPED;
    service_ref service = open_service(name, SERVICE_STOP);
    SERVICE_STATUS s = {};
    if (service)
        ControlService(service.get(), SERVICE_CONTROL_STOP, &s);
    return wait_state(name, SERVICE_STOPPED, timeout_ms);
}

void remove(const char* name)
{
    if (!exists(name))
        return;
    stop(name);
    {
        service_ref service = open_service(name, DELETE);
        if (service)
            DeleteService(service.get());
    }
    ts::wait_until([&] { return !exists(name); }, 5000);
}

} // namespace svc

namespace agent_fixture {

bool install()
{
    remove();
    unique_sc_handle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager)
        return false;
    std::string command = "\"" + ts::sibling(AGENT_DOUBLE_IMAGE) + "\"";
    unique_sc_handle service(CreateServiceA(
        manager.get(), AGENT_SERVICE_NAME, AGENT_SERVICE_NAME, SERVICE_ALL_ACCESS,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, command.c_str(),
        nullptr, nullptr, nullptr, nullptr, nullptr));
    return static_cast<bool>(service);
}

void remove()
{
    svc::remove(AGENT_SERVICE_NAME);
    ts::kill_all_named(AGENT_DOUBLE_IMAGE);
}

bool start()
{
    return svc::start(AGENT_SERVICE_NAME) &&
           svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 5000);
}

bool crash()
{
    unique_handle event(OpenEventA(EVENT_MODIFY_STATE, FALSE, AGENT_DOUBLE_CRASH_EVENT));
    if (!event)
        return false;
    SetEvent(event.get());
    if (!svc::wait_state(AGENT_SERVICE_NAME, SERVICE_STOPPED, 5000))
        return false;
    // As after a real crash, the process is gone before anything starts the
    // agent again.
    ts::wait_until([] { return ts::processes_named(AGENT_DOUBLE_IMAGE).empty(); }, 5000);
    return true;
}

DWORD state()
{
    return svc::state(AGENT_SERVICE_NAME);
}

bool answers_controls()
{
    return svc::interrogate(AGENT_SERVICE_NAME);
}

void remove_watchdog_setup()
{
    svc::remove(WATCHDOG_SERVICE_NAME);
    ts::kill_all_named(WATCHDOG_IMAGE_NAME);
    ts::kill_all_named("devcon.exe");   // a hung device tool holds its file
    remove();
    doubles::remove_devcon_doubles();
    doubles::reset_devcon();
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY);
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY);
}

} // namespace agent_fixture
