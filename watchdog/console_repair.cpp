#include "console_repair.h"

#include "contract.h"
#include "daemon_log.h"
#include "event_report.h"
#include "handles.h"
#include "program_files_guard.h"
#include "registry.h"
#include "system_folder.h"
#include "wow64.h"

#include <windows.h>
#include <strsafe.h>

#include <io.h>
#include <string.h>

#include <utility>

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA of the 32-bit build");
#endif

namespace {

const size_t COMMAND_CAPACITY = 260;
const DWORD INVOKE_LIMIT_MS = 120000;
const int PHASE_ATTEMPTS = 3;
const DWORD PHASE_PAUSE_MS = 100;
const int SERVICE_NOT_ACTIVE = 1062;   // ERROR_SERVICE_NOT_ACTIVE, sc's exit code
const UINT ENDED_EXIT_CODE = 1;
const DWORD ENDED_WAIT_MS = 5000;

DWORD invoke_limit_ms()
{
#ifdef GT_TEST_SEAMS
    return g_invoke_limit_ms;
#else
    return INVOKE_LIMIT_MS;
#endif
}

bool contains(const char* text, const char* word)
{
    size_t length = strlen(word);
    for (; *text; ++text) {
        if (strncmp(text, word, length) == 0)
            return true;
    }
    return false;
}

// The device console tool chosen to run. Under a literal folder that is not
// the system's own, the file checked is held, sharing neither writing nor
// deletion, until it has run: nobody can put another file under its name.
struct devcon_tool {
    const char* path = nullptr;   // nullptr: none may be run
    unique_handle held;
};

// A candidate under a literal Program Files folder, or why not (logged).
bool admit_devcon(const char* candidate, const char* literal_folder, devcon_tool* tool)
{
    if (!literal_is_system_folder(literal_folder)) {
        unique_handle file(CreateFileA(candidate, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!file || !GetFileInformationByHandle(file.get(), &info)) {
            refuse_devcon_candidate(candidate, "cannot be examined");
            return false;
        }
        const char* refusal = devcon_refusal(read_owner(file.get(), GUARDED_DEVCON),
                                             info.nNumberOfLinks);
        if (refusal) {
            refuse_devcon_candidate(candidate, refusal);
            return false;
        }
        tool->held = std::move(file);
    }
    tool->path = candidate;
    return true;
}

// The tool's fixed places, not the system's Program Files folder: the first
// that exists and may run.
void choose_devcon(devcon_tool* tool)
{
    const bool x64_build = sizeof(void*) == 8;
    const bool system_64bit = system_is_64bit(x64_build, look_up_wow64());
    // _access with mode 0 tests existence only; a folder of that name passes.
    if (_access(DEVCON_PATH_1, 0) == 0 && admit_devcon(DEVCON_PATH_1, PROGRAM_FILES_FOLDER, tool))
        return;
    const char* second = devcon_candidate(system_64bit, false, _access(DEVCON_PATH_2, 0) == 0);
    if (second)
        admit_devcon(second, PROGRAM_FILES_X86_FOLDER, tool);
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

// cmd.exe of the system folder as this process sees it (SysWOW64 for a
// 32-bit program on 64-bit Windows).
bool command_shell_path(char* path, size_t capacity)
{
#ifdef GT_TEST_SEAMS
    if (g_test_shell_path)
        return SUCCEEDED(StringCchCopyA(path, capacity, g_test_shell_path));
#endif
    return system_file_path("cmd.exe", path, capacity);
}

} // namespace

#ifdef GT_TEST_SEAMS
unsigned long g_invoke_limit_ms = INVOKE_LIMIT_MS;
const char* g_test_shell_path = nullptr;
#endif

void refuse_devcon_candidate(const char* candidate, const char* reason)
{
    write_daemon_log("refused devcon candidate %s: %s", candidate, reason);
    report_device_tool_refused(candidate);
}

int classify_errorcode_text(const char* text)
{
    int result = 0;
    if (contains(text, "995"))
        result = 995;
    if (contains(text, "554"))
        result = 554;
    return result;
}

bool stop_phase_succeeded(int exit_code)
{
    return exit_code == 0 || exit_code == SERVICE_NOT_ACTIVE;
}

int invokeExeFile(char* command_line)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION child = {};
    // Every command line starts with "Cmd.exe". Named alone, it would be
    // searched for first in this program's folder, where a planted copy
    // would run as LocalSystem: the system's own is named in full.
    char shell[MAX_PATH] = {};
    // Suspended until it is in the job, so everything it starts is in there too.
    if (!command_shell_path(shell, sizeof shell) ||
        !CreateProcessA(shell, command_line, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &child)) {
        write_daemon_log("[ZRVGrade] invokeExeFile %s failed", command_line);
        return -1;
    }
    unique_handle thread(child.hThread);
    unique_handle process(child.hProcess);   // closed before the thread
    unique_handle job(CreateJobObjectA(nullptr, nullptr));
    // Before Windows 8 a process already in a job (ours, if the service host
    // put us in one) cannot join another: then only the child can be ended.
    DWORD job_error = ERROR_SUCCESS;
    if (!job)
        job_error = GetLastError();
    else if (!AssignProcessToJobObject(job.get(), process.get()))
        job_error = GetLastError();
    ResumeThread(thread.get());

    if (WaitForSingleObject(process.get(), invoke_limit_ms()) == WAIT_TIMEOUT) {
        if (job_error == ERROR_SUCCESS) {
            TerminateJobObject(job.get(), ENDED_EXIT_CODE);
        } else {
            TerminateProcess(process.get(), ENDED_EXIT_CODE);
            write_daemon_log("[ZRVGrade] invokeExeFile %s not in a job (%lu): only it was ended",
                             command_line, job_error);
        }
        WaitForSingleObject(process.get(), ENDED_WAIT_MS);
        write_daemon_log("[ZRVGrade] invokeExeFile %s timed out", command_line);
        return -1;
    }

    DWORD exit_code = 0;
    if (!GetExitCodeProcess(process.get(), &exit_code)) {
        DWORD error = GetLastError();
        write_daemon_log("GetExitCodeProcess() failed: %ld", static_cast<long>(error));
        return -1;
    }
    write_daemon_log("%s Exit code = %ld", command_line, static_cast<long>(exit_code));
    return static_cast<int>(exit_code);
}

int read_writefile_errorcode()
{
    char text[256];
    reg_value_read r = read_reg_value(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY,
                                      WRITEFILE_ERRORCODE_VALUE, text, sizeof text);
    if (!r.found())
        return 0;
    return classify_errorcode_text(text);
}

void clear_writefile_errorcode()
{
    char text[16] = {};
    StringCchPrintfA(text, 15, "%d", 0);
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, 0, KEY_WRITE, key.put()) !=
            ERROR_SUCCESS &&
        RegCreateKeyA(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, key.put()) != ERROR_SUCCESS) {
        write_daemon_log("failed to RegCreateKey");
        return;
    }
    // The byte count leaves the terminator out.
    if (RegSetValueExA(key.get(), WRITEFILE_ERRORCODE_VALUE, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>(strlen(text))) != ERROR_SUCCESS)
        write_daemon_log("failed to RegSetValueEx");
}

int enable_disable_serial_dev(int action)
{
    const char* word = action == 0 ? DEVCON_DISABLE_WORD : action == 1 ? DEVCON_ENABLE_WORD : nullptr;
    if (!word)
        return 0;
    char action_word[COMMAND_CAPACITY] = {};
    StringCchCopyA(action_word, COMMAND_CAPACITY - 1, word);
    devcon_tool tool;
    choose_devcon(&tool);
    if (!tool.path)
        return 0;
    char command[COMMAND_CAPACITY] = {};
    StringCchPrintfA(command, COMMAND_CAPACITY, DEVCON_ACTION_COMMAND_FORMAT, tool.path, action_word);
    write_daemon_log("enable_disable_serial_dev cmd=%s", command);
    return invokeExeFile(command) == 0 ? 1 : 0;
}

int check_serial_dev()
{
    devcon_tool tool;
    choose_devcon(&tool);
    if (!tool.path)
        return 0;
    char command[COMMAND_CAPACITY] = {};
    StringCchPrintfA(command, COMMAND_CAPACITY, DEVCON_STATUS_COMMAND_FORMAT, tool.path);
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
