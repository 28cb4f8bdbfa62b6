// A shell standing in for cmd.exe, as a user who timed a junction would see
// it: before it runs the command it was given, it re-points the device
// tool's folder (a Unix symbolic link standing in for the junction) at the
// user's own folder, waits until the path leads there, and then runs the
// system's cmd.exe with the same command line. Its exit code is cmd.exe's.
//   SWAP_LINK_ENV: the folder that is a link; SWAP_TARGET_ENV: the user's folder
#include "desktop.h"
#include "double_control.h"
#include "double_io.h"
#include "test_support.h"

#include <windows.h>

#include <string>

int main()
{
    record_call(SWAPPING_SHELL_CALLS_LOG, GetCommandLineA());
    char link[MAX_PATH] = {}, target[MAX_PATH] = {}, shell[MAX_PATH] = {};
    if (!GetEnvironmentVariableA(SWAP_LINK_ENV, link, MAX_PATH) ||
        !GetEnvironmentVariableA(SWAP_TARGET_ENV, target, MAX_PATH) || !GetSystemDirectoryA(shell, MAX_PATH))
        return 99;
    const std::string marker = std::string(link) + "\\" SWAP_MARKER_NAME;
    ts::start_unix("ln -sfn '" + ts::unix_path(target) + "' '" + ts::unix_path(link) + "'");
    if (!ts::wait_until([&] { return ts::file_exists(marker); }, 5000))
        return 98;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    std::string command = GetCommandLineA();
    if (!CreateProcessA((std::string(shell) + "\\cmd.exe").c_str(), &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &child))
        return 97;
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 96;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return static_cast<int>(code);
}
