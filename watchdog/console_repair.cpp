#include "console_repair.h"

#include "child_process.h"
#include "contract.h"
#include "daemon_log.h"
#include "event_report.h"
#include "program_files_guard.h"
#include "system_places.h"

#include <windows.h>
#include <strsafe.h>

#include <io.h>

namespace {

const size_t COMMAND_CAPACITY = 260;
const int PHASE_ATTEMPTS = 3;
const DWORD PHASE_PAUSE_MS = 100;
const int SERVICE_NOT_ACTIVE = 1062;   // ERROR_SERVICE_NOT_ACTIVE, sc's exit code

// A candidate under a literal Program Files folder, or why not (logged).
bool admit_devcon(const char* candidate, const char* literal_folder)
{
    const char* refusal = devcon_refusal(literal_is_system_folder(literal_folder));
    if (refusal)
        refuse_devcon_candidate(candidate, refusal);
    return refusal == nullptr;
}

// The tool's fixed places, not the system's Program Files folder: the first
// that exists and may run.
const char* choose_devcon()
{
    const bool x64_build = sizeof(void*) == 8;
    const bool system_64bit = system_is_64bit(x64_build, look_up_wow64());
    // _access with mode 0 tests existence only; a folder of that name passes.
    if (_access(DEVCON_PATH_1, 0) == 0 && admit_devcon(DEVCON_PATH_1, PROGRAM_FILES_FOLDER))
        return DEVCON_PATH_1;
    const char* second = devcon_candidate(system_64bit, false, _access(DEVCON_PATH_2, 0) == 0);
    return second && admit_devcon(second, PROGRAM_FILES_X86_FOLDER) ? second : nullptr;
}

bool stop_agent_attempt()
{
    char command[COMMAND_CAPACITY] = {};
    StringCchCopyA(command, COMMAND_CAPACITY - 1, AGENT_STOP_COMMAND);
    return stop_phase_succeeded(invokeExeFile(command));
}

bool disable_attempt() { return enable_disable_serial_dev(0) == 1; }
bool enable_attempt() { return enable_disable_serial_dev(1) == 1; }

struct repair_phase {
    bool (*attempt)();
    const char* succeeded;
    const char* failed;
};

const repair_phase REPAIR_PHASES[] = {
    {stop_agent_attempt, "stop sen-drik service successfully!", "failed to stop sen-drik service!"},
    {disable_attempt, "disable virtio console device successfully!",
     "failed to disable virtio console device!"},
    {enable_attempt, "enable virtio console device successfully!",
     "failed to enable virtio console device!"},
};

bool run_phase(const repair_phase& phase)
{
    for (int attempt = 0; attempt < PHASE_ATTEMPTS; ++attempt) {
        bool ok = phase.attempt();
        Sleep(PHASE_PAUSE_MS);
        if (ok) {
            write_daemon_log("%s", phase.succeeded);
            return true;
        }
    }
    write_daemon_log("%s", phase.failed);
    return false;
}

} // namespace

void refuse_devcon_candidate(const char* candidate, const char* reason)
{
    write_daemon_log("refused devcon candidate %s: %s", candidate, reason);
    report_device_tool_refused(candidate);
}

bool stop_phase_succeeded(int exit_code)
{
    return exit_code == 0 || exit_code == SERVICE_NOT_ACTIVE;
}

int enable_disable_serial_dev(int action)
{
    const char* word = action == 0 ? DEVCON_DISABLE_WORD : action == 1 ? DEVCON_ENABLE_WORD : nullptr;
    if (!word)
        return 0;
    const char* tool = choose_devcon();
    if (!tool)
        return 0;
    char command[COMMAND_CAPACITY] = {};
    StringCchPrintfA(command, COMMAND_CAPACITY, DEVCON_ACTION_COMMAND_FORMAT, tool, word);
    write_daemon_log("enable_disable_serial_dev cmd=%s", command);
    return invokeExeFile(command) == 0 ? 1 : 0;
}

int check_serial_dev()
{
    const char* tool = choose_devcon();
    if (!tool)
        return 0;
    char command[COMMAND_CAPACITY] = {};
    StringCchPrintfA(command, COMMAND_CAPACITY, DEVCON_STATUS_COMMAND_FORMAT, tool);
    write_daemon_log("check_serial_dev cmd=%s", command);
    int result = invokeExeFile(command);
    return result == 0 ? 1 : result == -1 ? -1 : 0;
}

int restart_consle_dev()
{
    for (const repair_phase& phase : REPAIR_PHASES) {
        if (!run_phase(phase)) {
            report_repair_failed(static_cast<int>(&phase - REPAIR_PHASES) + 1);
            return 0;
        }
    }
    return 1;
}
