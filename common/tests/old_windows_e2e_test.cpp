// Both programs on an older Windows (scripts/test's old-Windows lanes:
// Server 2003 in the 64-bit prefix, 2000 and XP in 32-bit-only ones), where
// no BIOS key exists and the firmware's SMBIOS tables (scripts/firmware-ns)
// decide: through GetSystemFirmwareTable, or through WMI where the test
// build hides that function as Windows 2000 and XP 32-bit lack it.
#include "agent_fixture.h"
#include "contract.h"
#include "doubles_fixture.h"
#include "handles.h"
#include "log_records.h"
#include "platform_seams.h"
#include "test_support.h"
#include "tray_driver.h"
#include "tray_run.h"
#include "watchdog_seams.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> lines;

const char* BIOS = "HARDWARE\\DESCRIPTION\\System\\BIOS";
const std::string OPEN_FAILED = "RegOpenKeyEx failed.\r\n\r\n";
const std::string FIRMWARE_TABLE = "the SMBIOS tables (GetSystemFirmwareTable)";
const std::string WMI = "WMI Win32_ComputerSystem";

std::string decided(const std::string& maker, const std::string& source, bool kvm)
{
    return "no BIOS key; manufacturer \"" + maker + "\" from " + source + (kvm ? ": kvm" : ": not kvm");
}

std::string watchdog_exe()
{
    return ts::sibling(WATCHDOG_IMAGE_NAME);
}

bool bios_key_exists()
{
    unique_hkey key;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, BIOS, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

DWORD registry_dword(HKEY root, const char* key, const char* name)
{
    std::string bytes;
    return ts::reg_get(root, key, name, &bytes) && bytes.size() == 4 ? *reinterpret_cast<const DWORD*>(bytes.data())
                                                                     : 0xFFFFFFFF;
}

// Each case runs through both sources: the firmware table, then WMI.
class OldWindows : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        if (ts::old_windows().empty())
            GTEST_SKIP() << "needs an old-Windows lane (GT_WINDOWS)";
        cleanup();
        ASSERT_FALSE(bios_key_exists()) << "a BIOS key is there";
        if (through_wmi())
            ts::reg_set_dword(HKEY_LOCAL_MACHINE, TEST_PLATFORM_KEY, TEST_NO_FIRMWARE_TABLE_VALUE, 1);
        logs::clear_daemon_log();
        ts::reg_set_dword(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY, TEST_PERIOD_VALUE, 200);
        ASSERT_TRUE(doubles::install_devcon_double(DEVCON_PATH_1));
    }
    void TearDown() override { cleanup(); }
    static void cleanup()
    {
        tray_run::stop_trays();
        agent_fixture::remove_watchdog_setup();
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, TEST_PLATFORM_KEY);
        ts::set_manufacturer("QEMU");
    }
    static bool through_wmi() { return GetParam(); }
    static std::string source() { return through_wmi() ? WMI : FIRMWARE_TABLE; }
    // Installs the watchdog's service and starts it; the start's result.
    static bool start_watchdog_service()
    {
        if (ts::run("\"" + watchdog_exe() + "\" -i", 10000).exit_code != 0)
            return false;
        logs::clear_daemon_log();
        return svc::start(WATCHDOG_SERVICE_NAME);
    }
};

TEST_P(OldWindows, OnKvmTheServiceSupervisesAndTheTrayShowsItsIcon)
{
    ASSERT_TRUE(agent_fixture::install());
    ASSERT_TRUE(start_watchdog_service()) << GetLastError();
    EXPECT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 15000));
    lines log = logs::daemon_log_messages();
    ASSERT_GE(log.size(), 2u) << ts::read_file(logs::daemon_log_path());
    EXPECT_EQ(OPEN_FAILED, log[0]);
    EXPECT_EQ(decided("QEMU", source(), true), log[1]);
    EXPECT_EQ(DWORD(SERVICE_RUNNING), svc::state(WATCHDOG_SERVICE_NAME));

    ts::reg_delete_value(HKEY_CURRENT_USER, AUTOPLAY_HANDLERS_KEY, DISABLE_AUTOPLAY_VALUE);
    ts::reg_delete_value(HKEY_LOCAL_MACHINE, EXPLORER_POLICIES_KEY, NO_DRIVE_TYPE_AUTORUN_VALUE);
    HWND window = nullptr;
    HANDLE tray = tray_run::start_tray({}, &window);
    scope_exit end_tray([tray] { td::end_tray_test(tray); });
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(tray_run::wait_icon(window, true, 10000));
    // NT 5.x: the machine's autorun policy, not the user's switch of Vista and 7.
    EXPECT_TRUE(ts::wait_until(
        [] { return registry_dword(HKEY_LOCAL_MACHINE, EXPLORER_POLICIES_KEY, NO_DRIVE_TYPE_AUTORUN_VALUE) == 181; },
        10000));
    EXPECT_EQ(0xFFFFFFFF, registry_dword(HKEY_CURRENT_USER, AUTOPLAY_HANDLERS_KEY, DISABLE_AUTOPLAY_VALUE));
}

TEST_P(OldWindows, OnXenNeitherProgramDoesAnything)
{
    ts::set_manufacturer("Xen HVM domU");
    ts::run_result tray = ts::run("\"" + ts::sibling(TRAY_IMAGE_NAME) + "\" -s", 30000);
    EXPECT_TRUE(tray.finished);
    EXPECT_EQ(0u, tray.exit_code);
    EXPECT_EQ(nullptr, tray_run::tray_window());

    ASSERT_TRUE(agent_fixture::install());
    start_watchdog_service();
    // Through WMI the service runs first, then stops itself; otherwise its
    // process ends before it reaches the service manager.
    EXPECT_TRUE(ts::wait_until([] { return ts::processes_named(WATCHDOG_IMAGE_NAME).empty(); }, 15000));
    EXPECT_EQ(DWORD(SERVICE_STOPPED), svc::state(WATCHDOG_SERVICE_NAME));
    EXPECT_EQ((lines{OPEN_FAILED, decided("Xen HVM domU", source(), false), "not kvm"}),
              logs::daemon_log_messages());
    EXPECT_EQ(DWORD(SERVICE_STOPPED), agent_fixture::state());
}

// The check in this process, timed: it must stay far below what a boot and
// a logon allow.
TEST_P(OldWindows, TheCheckAnswersQuicklyOnEachPath)
{
    firmware_table_lookup_fn saved = look_up_firmware_table;
    if (through_wmi())
        look_up_firmware_table = no_firmware_table;
    DWORD start = GetTickCount();
    platform_record record = read_platform_record(true);
    DWORD took = GetTickCount() - start;
    look_up_firmware_table = saved;
    EXPECT_EQ(through_wmi() ? SOURCE_WMI : SOURCE_FIRMWARE_TABLE, record.source);
    EXPECT_STREQ("QEMU", record.manufacturer);
    EXPECT_TRUE(platform_record_is_kvm(record));
    EXPECT_LT(took, 10000u);
    printf("the platform check through %s took %lu ms\n", source().c_str(), took);
}

INSTANTIATE_TEST_SUITE_P(Sources, OldWindows, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "Wmi" : "FirmwareTable";
                         });

} // namespace
