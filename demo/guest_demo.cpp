// The scripted story of ./scripts/demo: a simulated KVM guest under Wine with
// the shipped package installed as an administrator would, then a few things
// that happen to a guest, each printed as it happens, and the removal.
//   guest_demo.exe DIST_DIR [--keep]
#include "agent_fixture.h"
#include "contract.h"
#include "desktop.h"
#include "doubles_fixture.h"
#include "log_records.h"
#include "platform_seams.h"
#include "tray_run.h"
#include "test_names.h"
#include "test_support.h"
#include "tray_driver.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const std::string TOOLS_DIR = "C:\\Program Files\\virtio\\tools";
// The package of this program's architecture, on the Windows it is for.
#if defined(_WIN64)
#define DEMO_PACKAGE "ondrix-tools-x64.msi"
#define DEMO_WINDOWS "64-bit Windows"
#else
#define DEMO_PACKAGE "ondrix-tools-x86.msi"
#define DEMO_WINDOWS "32-bit Windows"
#endif
DWORD g_start_tick;
int g_failures;

// Prints one line of the story: `text` with `detail` in place of "%s".
void say(const std::string& text, const std::string& detail = "")
{
    std::string line = text;
    size_t at = line.find("%s");
    if (at != std::string::npos)
        line.replace(at, 2, detail);
    printf("[%5.1f s] %s\n", (GetTickCount() - g_start_tick) / 1000.0, line.c_str());
    fflush(stdout);
}

bool step(bool ok, const char* what)
{
    say(ok ? "   ok: %s" : "   FAILED: %s", what);
    if (!ok)
        ++g_failures;
    return ok;
}

std::string g_package;

// msiexec with the shipped package, no UI; its exit code.
DWORD msiexec(const char* action)
{
    ts::run_result r = ts::run("msiexec " + std::string(action) + " \"" + g_package + "\" /qn", 120000);
    return r.finished ? r.exit_code : 0xFFFFFFFF;
}

// One step of the story: msiexec with the package, then its exit code and time.
bool package_step(const char* action, const char* what)
{
    DWORD t0 = GetTickCount();
    DWORD rc = msiexec(action);
    char detail[64];
    sprintf(detail, "exit %lu after %.1f s", rc, (GetTickCount() - t0) / 1000.0);
    bool ok = step(rc == 0, what);
    say("   %s", detail);
    return ok;
}

std::string reg_text(const char* path, const char* name)
{
    std::string bytes;
    if (!ts::reg_get(HKEY_LOCAL_MACHINE, path, name, &bytes))
        return "(absent)";
    return std::string(bytes.c_str());
}

void print_log(const char* title, const std::string& path)
{
    printf("\n---- %s (%s) ----\n", title, path.c_str());
    std::string text = ts::read_file(path);
    std::string clean;
    for (char c : text)
        if (c != '\r')
            clean += c;
    printf("%s", clean.c_str());
    fflush(stdout);
}

bool set_up_guest(const std::string& dist)
{
    std::string old = ts::old_windows();
    std::string windows = old == "2000" ? "Windows 2000, " : old == "xp" ? "Windows XP, " : old == "2003" ? "Windows Server 2003, " : "";
    say("== a simulated KVM guest (%s)", windows + DEMO_WINDOWS);
    ts::set_manufacturer("QEMU");
    g_package = dist + "\\" DEMO_PACKAGE;
    msiexec("/x");  // what a run with --keep left behind
    ts::remove_file(logs::daemon_log_path());
    ts::remove_file(logs::tray_log_path());
    if (old.empty())
        say("   BIOS manufacturer \"QEMU\", no tools installed");
    else
        say("   no BIOS key (HKLM\\HARDWARE\\DESCRIPTION\\System\\BIOS), as before Vista; the firmware's "
            "SMBIOS tables name \"QEMU\"; no tools installed");
    // Windows 2000 and XP 32-bit have no GetSystemFirmwareTable: the test
    // build's watchdog, which runs later in the story, then asks WMI.
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, TEST_PLATFORM_KEY);
#if !defined(_WIN64)
    if (old == "2000" || old == "xp") {
        ts::reg_set_dword(HKEY_LOCAL_MACHINE, TEST_PLATFORM_KEY, TEST_NO_FIRMWARE_TABLE_VALUE, 1);
        say("   as there, the test build's programs find no GetSystemFirmwareTable and ask WMI");
    }
#endif
    doubles::remove_devcon_doubles();
    doubles::reset_devcon();
    bool ok = doubles::install_devcon_double(DEVCON_PATH_1) && doubles::install_findstr_double();
    if (!step(ok, "device console tool double at " DEVCON_PATH_1 ", console device enabled"))
        return false;
    ts::reg_delete_tree(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE, "0");
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, UPGRADE_KEY, UPGRADE_STATE_VALUE, "4");
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, "2");
    step(true, "HKLM\\" PRODUCT_KEY " with \"upgrade\" and \"auto-repair\", strategy \"2\"");
    // Wine's own update engine aborts its caller: the guest gets a double
    // that reports no installation at shutdown.
    td::install_engine_double(0);
    step(true, "Windows Update engine double at " WU_ENGINE_PATH);
    // Right after the prefix was made, the service manager may still be busy.
    ok = agent_fixture::install() &&
         ts::wait_until([] { return agent_fixture::start(); }, 20000);
    return step(ok, "agent service double \"sen-drik\" installed and running");
}

// Wine's Event Log keeps nothing: the test build of the watchdog, which also
// writes every event it reports to a file, runs in the installed one's place.
void use_watchdog_that_shows_its_events()
{
    say("   Wine keeps no Event Log: the watchdog of the test build (it also writes what it reports "
        "to a file) replaces the installed one");
    logs::clear_captured_events();
    bool ok = svc::stop(WATCHDOG_SERVICE_NAME) &&
              ts::wait_until([] { return ts::processes_named(WATCHDOG_IMAGE_NAME).empty(); }, 5000) &&
              CopyFileA(ts::sibling(WATCHDOG_IMAGE_NAME).c_str(), (TOOLS_DIR + "\\" WATCHDOG_IMAGE_NAME).c_str(),
                        FALSE) &&
              svc::start(WATCHDOG_SERVICE_NAME) && svc::wait_state(WATCHDOG_SERVICE_NAME, SERVICE_RUNNING, 10000);
    step(ok, "service \"SenDrikHald\" running again");
}

// The captured events as Event Viewer shows them: id, type and the message
// of the program's own table with the inserts filled in.
void print_events()
{
    printf("\n---- events reported to the Application log, source \"" EVENT_SOURCE_NAME "\" ----\n");
    HMODULE program = LoadLibraryExA((TOOLS_DIR + "\\" WATCHDOG_IMAGE_NAME).c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE);
    for (const std::string& line : logs::captured_events()) {
        // "<id> <type> <insert>|<insert>..."
        unsigned id = 0, type = 0;
        int used = 0;
        if (sscanf(line.c_str(), "%u %u %n", &id, &type, &used) != 2)
            continue;
        std::string rest = line.substr(used);
        std::vector<std::string> inserts;
        for (size_t start = 0;; ) {
            size_t bar = rest.find('|', start);
            inserts.push_back(rest.substr(start, bar - start));
            if (bar == std::string::npos)
                break;
            start = bar + 1;
        }
        std::vector<DWORD_PTR> arguments;
        for (const std::string& insert : inserts)
            arguments.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
        const DWORD severity = type == EVENTLOG_ERROR_TYPE ? 3 : type == EVENTLOG_WARNING_TYPE ? 2 : 1;
        char text[1024] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, program,
                       (severity << 30) | id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text,
                       reinterpret_cast<va_list*>(arguments.data()));
        std::string message;
        for (char c : std::string(text)) {
            if (c == '\n')
                message += "\n  ";
            else if (c != '\r')
                message += c;
        }
        while (!message.empty() && (message.back() == ' ' || message.back() == '\n'))
            message.pop_back();
        printf("%u %s\n  %s\n", id,
               type == EVENTLOG_ERROR_TYPE ? "Error" : type == EVENTLOG_WARNING_TYPE ? "Warning" : "Information",
               message.c_str());
    }
    if (program)
        FreeLibrary(program);
    fflush(stdout);
}

bool install_programs()
{
    say("== the administrator installs the tools: msiexec /i " DEMO_PACKAGE " /qn");
    svc::remove(WATCHDOG_SERVICE_NAME);
    if (!package_step("/i", "package installed"))
        return false;
    step(ts::file_exists(TOOLS_DIR + "\\sen-drik-hald.exe") && ts::file_exists(TOOLS_DIR + "\\qor-tel.exe"),
         ("programs in " + TOOLS_DIR + ", log folder " + logs::monitor_folder()).c_str());
    if (!step(svc::wait_state(WATCHDOG_SERVICE_NAME, SERVICE_RUNNING, 10000),
              "service \"SenDrikHald\" installed and running"))
        return false;
    use_watchdog_that_shows_its_events();
    std::string run = reg_text(RUN_KEY, TRAY_RUN_VALUE);
    step(run != "(absent)", "Run value \"qor-tel\" written");
    say("   Run value: %s", run);
    // No logon needed: the package started the tray in the user's session.
    HWND window = nullptr;
    bool up = ts::wait_until([&] { return (window = tray_run::tray_window()) != nullptr; }, 15000) &&
              tray_run::wait_icon(window, true, 15000);
    return step(up, "the package started qor-tel.exe -s in the user's session: tray window \"qor-tel\" "
                    "and its icon in the notification area, no logon needed");
}

void agent_crash()
{
    say("== the agent crashes");
    agent_fixture::crash();
    say("   agent state: stopped; the watchdog looks every 10 seconds");
    DWORD t0 = GetTickCount();
    bool back = svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 30000);
    char detail[64];
    sprintf(detail, "%.1f s", (GetTickCount() - t0) / 1000.0);
    step(back, back ? "the watchdog started \"sen-drik\" again" : "the agent was not started again");
    say("   restarted after %s", detail);
}

void console_repair()
{
    say("== the agent records write error 995 on the console channel");
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE, "995");
    bool cleared = ts::wait_until(
        [] { return reg_text(AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE) == "0"; }, 40000);
    step(cleared, "repair done: \"writefile_errorcode\" reads \"0\" again");
    for (const std::string& call : doubles::devcon_calls())
        say("   devcon.exe was called: %s", call);
    bool running = svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 30000);
    step(running, "agent \"sen-drik\" running after the repair");
}

void upgrade_balloon()
{
    say("== the upgrader writes \"upgradestate\" = \"2\"");
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, UPGRADE_KEY, UPGRADE_STATE_VALUE, "2");
    bool shown = tray_run::wait_balloon(
        L"ZRV ONDRIX is upgraded successfully, Restart your computer please.", 10000);
    step(shown, "balloon \"Upgrade Notice\": ZRV ONDRIX is upgraded successfully, Restart your computer please.");
    Sleep(500);
    if (ts::screenshot("demo-balloon"))
        say("   screenshot: %s", ts::unix_path(ts::bin_dir() + "..\\artifacts\\demo-balloon.png"));
}

HWND find_menu()
{
    return FindWindowA("#32768", nullptr);
}

void pick_close_upgrade()
{
    say("== the user opens the icon's menu and picks \"close upgrade\"");
    HWND tray = tray_run::tray_window();
    tray_run::dismiss_balloons();
    PostMessageA(tray, WM_TRAYICON, 0, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    bool open = ts::wait_until([&] { return (menu = find_menu()) != nullptr && IsWindowVisible(menu); }, 5000);
    step(open, "menu open: automatic upgrade (checked), close upgrade, About");
    if (!open)
        return;
    Sleep(300);
    ts::screenshot("demo-menu");
    // Keys as a user would press them: down to the second item, then Enter.
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    bool written = ts::wait_until(
        [] { return reg_text(PRODUCT_KEY, UPGRADE_STRATEGY_VALUE) == "3"; }, 5000);
    step(written, "\"UpgradeStrategy\" = \"3\" (close upgrade)");
}

void shutdown_query()
{
    say("== Windows asks whether the session may end for a shutdown");
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(tray_run::tray_window(), WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 10000,
                        &answer);
    std::string log = ts::read_file(logs::tray_log_path());
    step(answer == TRUE && log.find(" : " MARKER_CLOSING "\r\n") != std::string::npos,
         "the tray answered TRUE and logged \"vm_closing\"");
}

void tear_down()
{
    say("== the administrator removes the tools: msiexec /x " DEMO_PACKAGE " /qn");
    package_step("/x", "package removed");
    step(tray_run::tray_window() == nullptr && ts::processes_named(TRAY_IMAGE_NAME).empty(), "tray ended");
    step(!svc::exists(WATCHDOG_SERVICE_NAME) && ts::processes_named(WATCHDOG_IMAGE_NAME).empty(),
         "service removed, watchdog ended");
    step(!ts::file_exists(TOOLS_DIR) && reg_text(RUN_KEY, TRAY_RUN_VALUE) == "(absent)",
         "programs and Run value gone");
    step(ts::file_exists(logs::daemon_log_path()) && ts::file_exists(logs::tray_log_path()),
         ("the logs stay in " + logs::monitor_folder()).c_str());
    agent_fixture::remove();
    doubles::uninstall_findstr_double();
    td::restore_engine();
}

} // namespace

int main(int argc, char** argv)
{
    g_start_tick = GetTickCount();
    if (argc < 2) {
        printf("usage: guest_demo.exe DIST_DIR [--keep]\n");
        return 2;
    }
    bool keep = argc > 2 && strcmp(argv[2], "--keep") == 0;
    if (!set_up_guest(argv[1]) || !install_programs())
        return 1;
    agent_crash();
    console_repair();
    upgrade_balloon();
    pick_close_upgrade();
    shutdown_query();
    print_log("watchdog log", logs::daemon_log_path());
    print_log("tray log", logs::tray_log_path());
    print_events();
    printf("\n");
    if (!keep)
        tear_down();
    printf("%s\n", g_failures ? "Some steps FAILED." : "Every step did what it should.");
    return g_failures ? 1 : 0;
}
