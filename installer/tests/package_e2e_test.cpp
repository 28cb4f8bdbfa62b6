// The package of this program's architecture end to end in a Wine prefix of
// its own (package_e2e.sh), on the Windows it is for (x64: a 64-bit prefix;
// x86: a 32-bit-only one): install, the same package again, upgrade to a
// newer build, downgrade and the other architecture's package refused,
// uninstall while the service and a tray run. The steps build on each other
// and run in the order written; after a failed step the rest are skipped.
//   package_e2e_test.exe OLD_DIST NEW_DIST OTHER_PACKAGE   (Windows paths)
#include <gtest/gtest.h>

#include <windows.h>
#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "contract.h"
#include "desktop.h"
#include "test_support.h"

namespace {

std::string g_old_dist, g_new_dist, g_other_package;
bool g_broken;
std::map<std::string, std::string> g_service_by_program;  // as "sen-drik-hald.exe -i" makes it
DWORD g_watchdog_id;
std::vector<std::string> g_installed;  // the product's version, as listed after a step

const std::string TOOLS = "C:\\Program Files\\virtio\\tools";
const char* DAEMON_LOG = PROGRAM_FILES_FOLDER DAEMON_LOG_NAME;
const char* TRAY_LOG = PROGRAM_FILES_FOLDER TRAY_LOG_NAME;
#if defined(_WIN64)
const std::string PACKAGE = "\\ondrix-tools-x64.msi";
const char* OTHER_REFUSAL = "This package is for 32-bit Windows. On 64-bit Windows install ondrix-tools-x64.msi.";
#else
const std::string PACKAGE = "\\ondrix-tools-x86.msi";
#endif
const char* PRODUCT_NAME = "ZRV Ondrix For Windows";
const char* UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* KEPT_LINE = "2020-01-01 00:00:00 : kept across the upgrade\r\n";

// msiexec /qn with a verbose log beside this program; the exit code.
DWORD msiexec(const std::string& what, const std::string& package, const char* step)
{
    std::string log = ts::bin_dir() + "package-" + step + ".log";
    DWORD start = GetTickCount();
    ts::run_result r = ts::run("msiexec " + what + " \"" + package + "\" /qn /l*v \"" + log + "\"", 120000);
    printf("[ timing   ] %-10s %.2f s (msiexec %s, exit %lu)\n", step, (GetTickCount() - start) / 1000.0,
           what.c_str(), r.exit_code);
    return r.finished ? r.exit_code : 0xFFFFFFFF;
}

// The text of Windows Installer's error box, when one is shown; "" when not.
std::string error_box_text(HWND* box)
{
    char text[1024] = {};
    DWORD_PTR got = 0;
    *box = FindWindowA("#32770", "Install Failed");
    // Bounded: the box's program may not answer.
    if (*box)
        SendMessageTimeoutA(GetDlgItem(*box, 0xFFFF), WM_GETTEXT, sizeof text,  // its text control
                            reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000, &got);
    return text;
}

// Wine logs no launch condition's message: with the basic UI it shows it in
// a message box, read here (and shot), then closed with OK. The exit code.
DWORD msiexec_refused(const std::string& package, const char* step, std::string* shown)
{
    std::string log = ts::bin_dir() + "package-" + step + ".log";
    DWORD start = GetTickCount();
    HANDLE process = ts::start("msiexec /i \"" + package + "\" /qb /l*v \"" + log + "\"");
    HWND box = nullptr;
    ts::wait_until([&] { return !(*shown = error_box_text(&box)).empty(); }, 30000);
    if (box) {
        ts::screenshot((std::string("package-") + step).c_str());
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    DWORD code = 0xFFFFFFFF;
    if (process && WaitForSingleObject(process, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    else if (process)
        TerminateProcess(process, 99);
    if (process)
        CloseHandle(process);
    printf("[ timing   ] %-10s %.2f s (msiexec /i, basic UI, exit %lu)\n", step,
           (GetTickCount() - start) / 1000.0, code);
    return code;
}

// Versions of the installed products of this name, as Add/Remove Programs lists them.
std::vector<std::string> installed_versions()
{
    std::vector<std::string> versions;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return versions;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i) {
        std::string path = std::string(UNINSTALL_KEY) + "\\" + name, text;
        if (ts::reg_get(HKEY_LOCAL_MACHINE, path.c_str(), "DisplayName", &text) &&
            std::string(text.c_str()) == PRODUCT_NAME &&
            ts::reg_get(HKEY_LOCAL_MACHINE, path.c_str(), "DisplayVersion", &text))
            versions.push_back(text.c_str());
    }
    RegCloseKey(key);
    return versions;
}

std::map<std::string, std::string> service_values()
{
    std::map<std::string, std::string> values;
    std::string key = std::string(SERVICES_KEY) + "\\" WATCHDOG_SERVICE_NAME;
    for (const char* name : {"Type", "Start", "ErrorControl", "ObjectName", "DisplayName",
                             SERVICE_DESCRIPTION_VALUE, "ImagePath"}) {
        std::string bytes;
        DWORD type = 0;
        if (ts::reg_get(HKEY_LOCAL_MACHINE, key.c_str(), name, &bytes, &type))
            values[name] = type == REG_DWORD ? std::to_string(*reinterpret_cast<const DWORD*>(bytes.data()))
                                             : std::string(bytes.c_str());
    }
    return values;
}

DWORD only_process(const char* image)
{
    std::vector<DWORD> ids = ts::processes_named(image);
    return ids.size() == 1 ? ids[0] : 0;
}

DWORD start_tray()
{
    HANDLE tray = ts::start("\"" + TOOLS + "\\" TRAY_IMAGE_NAME "\" -s");
    if (tray)
        CloseHandle(tray);
    DWORD id = 0;
    ts::wait_until([&] { return (id = only_process(TRAY_IMAGE_NAME)) != 0; }, 10000);
    return id;
}

std::string run_value()
{
    std::string text;
    return ts::reg_get(HKEY_LOCAL_MACHINE, RUN_KEY, TRAY_RUN_VALUE, &text) ? text.c_str() : "(absent)";
}

class Package : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (g_broken)
            GTEST_SKIP() << "an earlier step failed";
    }
    void TearDown() override { g_broken = g_broken || HasFailure(); }
};

TEST_F(Package, AWatchdogInstalledByHandRunsFirst)
{
    // The reference for the package's service: what the program's own "-i"
    // makes. The package must replace that service, running.
    std::string watchdog = g_old_dist + "\\" WATCHDOG_IMAGE_NAME;
    ASSERT_EQ(ts::run("\"" + watchdog + "\" -i", 30000).exit_code, 0u);
    g_service_by_program = service_values();
    EXPECT_EQ(g_service_by_program.size(), 7u);
    ASSERT_TRUE(svc::start(WATCHDOG_SERVICE_NAME));
    ASSERT_TRUE(svc::wait_state(WATCHDOG_SERVICE_NAME, SERVICE_RUNNING, 10000));
}

TEST_F(Package, InstallsProgramsServiceRunValueAndLogFolder)
{
    ASSERT_EQ(msiexec("/i", g_old_dist + PACKAGE, "install"), 0u);
    g_installed = installed_versions();
    EXPECT_EQ(g_installed.size(), 1u);
    for (const char* image : {WATCHDOG_IMAGE_NAME, TRAY_IMAGE_NAME})
        EXPECT_EQ(ts::read_file(TOOLS + "\\" + image), ts::read_file(g_old_dist + "\\" + image)) << image;
    EXPECT_TRUE(ts::file_exists(DAEMON_LOG));
    ASSERT_TRUE(svc::wait_state(WATCHDOG_SERVICE_NAME, SERVICE_RUNNING, 10000));
    g_watchdog_id = only_process(WATCHDOG_IMAGE_NAME);
    EXPECT_NE(g_watchdog_id, 0u);  // the one by hand was stopped

    std::map<std::string, std::string> by_package = service_values(), by_program = g_service_by_program;
    // Wine writes the image path unquoted; the table test checks the quoting.
    std::string tail = by_program["ImagePath"].substr(by_program["ImagePath"].rfind('"') + 1);
    EXPECT_EQ(by_package["ImagePath"], TOOLS + "\\" WATCHDOG_IMAGE_NAME + tail);
    by_package.erase("ImagePath");
    by_program.erase("ImagePath");
    EXPECT_EQ(by_package, by_program);

    char expected[MAX_PATH + 16];
    snprintf(expected, sizeof expected, SERVICE_COMMAND_FORMAT, (TOOLS + "\\" TRAY_IMAGE_NAME).c_str());
    EXPECT_EQ(run_value(), expected);
}

TEST_F(Package, TheSamePackageAgainLeavesOneProductAsItWas)
{
    // Windows takes this for maintenance with nothing requested and touches
    // nothing; Wine reinstalls every component (the service restarts, a tray
    // is ended). Either way what is installed stays as it was.
    std::map<std::string, std::string> service = service_values();
    std::string run = run_value(), tray = ts::read_file(TOOLS + "\\" TRAY_IMAGE_NAME);
    ASSERT_EQ(msiexec("/i", g_old_dist + PACKAGE, "again"), 0u);
    EXPECT_EQ(installed_versions(), g_installed);
    EXPECT_EQ(service_values(), service);
    EXPECT_EQ(run_value(), run);
    EXPECT_EQ(ts::read_file(TOOLS + "\\" TRAY_IMAGE_NAME), tray);
    ASSERT_TRUE(svc::wait_state(WATCHDOG_SERVICE_NAME, SERVICE_RUNNING, 10000));
    g_watchdog_id = only_process(WATCHDOG_IMAGE_NAME);
}

TEST_F(Package, ANewerBuildReplacesItKeepingStrategyAndLogs)
{
    ASSERT_NE(start_tray(), 0u);
    ASSERT_TRUE(ts::reg_set_sz(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, STRATEGY_CLOSE_TEXT));
    for (const char* log : {DAEMON_LOG, TRAY_LOG})
        ASSERT_TRUE(ts::write_file(log, ts::read_file(log) + KEPT_LINE));

    ASSERT_EQ(msiexec("/i", g_new_dist + PACKAGE, "upgrade"), 0u);
    std::vector<std::string> before = g_installed;
    g_installed = installed_versions();
    EXPECT_EQ(g_installed.size(), 1u);
    EXPECT_NE(g_installed, before);
    EXPECT_EQ(ts::read_file(TOOLS + "\\" TRAY_IMAGE_NAME), ts::read_file(g_new_dist + "\\" TRAY_IMAGE_NAME));
    EXPECT_EQ(only_process(TRAY_IMAGE_NAME), 0u);  // ended before its file was replaced
    ASSERT_TRUE(svc::wait_state(WATCHDOG_SERVICE_NAME, SERVICE_RUNNING, 10000));
    DWORD watchdog = only_process(WATCHDOG_IMAGE_NAME);
    EXPECT_NE(watchdog, 0u);
    EXPECT_NE(watchdog, g_watchdog_id);
    g_watchdog_id = watchdog;
    std::string strategy;
    EXPECT_TRUE(ts::reg_get(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, &strategy));
    EXPECT_STREQ(strategy.c_str(), STRATEGY_CLOSE_TEXT);
    for (const char* log : {DAEMON_LOG, TRAY_LOG})
        EXPECT_NE(ts::read_file(log).find(KEPT_LINE), std::string::npos) << log;
}

TEST_F(Package, AnOlderPackageIsRefused)
{
    std::string shown;
    EXPECT_EQ(msiexec_refused(g_old_dist + PACKAGE, "downgrade", &shown),
              (DWORD)ERROR_INSTALL_FAILURE);
    EXPECT_EQ(shown, "A newer version of ZRV Ondrix For Windows is already installed. "
                     "Remove it first to install this one.");
    EXPECT_EQ(installed_versions(), g_installed);
    EXPECT_EQ(only_process(WATCHDOG_IMAGE_NAME), g_watchdog_id);
}

TEST_F(Package, TheOtherArchitecturesPackageIsRefused)
{
#if defined(_WIN64)
    std::string shown;
    EXPECT_EQ(msiexec_refused(g_other_package, "other-arch", &shown), (DWORD)ERROR_INSTALL_FAILURE);
    EXPECT_EQ(shown, OTHER_REFUSAL);
#else
    // 32-bit Windows Installer refuses a package whose platform is x64
    // before its launch conditions run, so their message is never shown.
    EXPECT_EQ(msiexec("/i", g_other_package, "other-arch"), (DWORD)ERROR_INSTALL_PLATFORM_UNSUPPORTED);
#endif
    EXPECT_EQ(installed_versions(), g_installed);
    EXPECT_EQ(only_process(WATCHDOG_IMAGE_NAME), g_watchdog_id);
}

TEST_F(Package, UninstallEndsServiceAndTrayAndKeepsTheLogs)
{
    ASSERT_NE(start_tray(), 0u);
    ASSERT_EQ(msiexec("/x", g_new_dist + PACKAGE, "uninstall"), 0u);
    EXPECT_TRUE(installed_versions().empty());
    EXPECT_TRUE(ts::processes_named(TRAY_IMAGE_NAME).empty());
    EXPECT_TRUE(ts::processes_named(WATCHDOG_IMAGE_NAME).empty());
    EXPECT_FALSE(svc::exists(WATCHDOG_SERVICE_NAME));
    EXPECT_FALSE(ts::file_exists(TOOLS));
    EXPECT_EQ(run_value(), "(absent)");
    for (const char* log : {DAEMON_LOG, TRAY_LOG})
        EXPECT_NE(ts::read_file(log).find(KEPT_LINE), std::string::npos) << log;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        printf("usage: package_e2e_test.exe OLD_DIST NEW_DIST OTHER_PACKAGE\n");
        return 2;
    }
    g_old_dist = argv[1];
    g_new_dist = argv[2];
    g_other_package = argv[3];
    return RUN_ALL_TESTS();
}
