#include "child_process.h"

#include "daemon_log.h"
#include "failure_log.h"
#include "handles.h"
#include "system_folder.h"

#include <strsafe.h>

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA of the 32-bit build");
#endif

namespace {

const UINT ENDED_EXIT_CODE = 1;
const DWORD ENDED_WAIT_MS = 5000;

// cmd.exe of the system folder as this process sees it (SysWOW64 for a
// 32-bit program on 64-bit Windows).
bool command_shell_path(char* path, size_t capacity)
{
    if (invoke_shell_path)
        return SUCCEEDED(StringCchCopyA(path, capacity, invoke_shell_path));
    return system_file_path("cmd.exe", path, capacity);
}

} // namespace

DWORD invoke_limit_ms = 120000;
const char* invoke_shell_path = nullptr;

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
    const char* failed_call = nullptr;
    // Suspended until it is in the job, so everything it starts is in there too.
    if (!command_shell_path(shell, sizeof shell))
        failed_call = "GetSystemDirectoryA";
    else if (!CreateProcessA(shell, command_line, nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                             nullptr, nullptr, &startup, &child))
        failed_call = "CreateProcessA";
    if (failed_call) {
        DWORD error = GetLastError();
        write_daemon_log("[ZRVGrade] invokeExeFile %s failed", command_line);
        log_daemon_failure(failed_call, shell[0] ? shell : "cmd.exe", error);
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

    if (WaitForSingleObject(process.get(), invoke_limit_ms) == WAIT_TIMEOUT) {
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
