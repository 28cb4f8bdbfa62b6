#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "autoplay.h"
#include "contract.h"
#include "test_support.h"

namespace {

const char kProbeDefaults[] = "Software\\Wine\\AppDefaults\\autoplay_probe.exe";
const DWORD kUntouched = 0x5A5A5A5A;

TEST(VersionClass, OnlyNt60And61AndAFailedQuerySelectTheUserSwitch)
{
    struct {
        bool ok;
        DWORD platform, major, minor;
        int expected;
    } cases[] = {
        {true, VER_PLATFORM_WIN32_NT, 5, 0, WINDOWS_OTHER},
        {true, VER_PLATFORM_WIN32_NT, 5, 1, WINDOWS_OTHER},
        {true, VER_PLATFORM_WIN32_NT, 5, 2, WINDOWS_OTHER},
        {true, VER_PLATFORM_WIN32_NT, 6, 0, WINDOWS_VISTA_OR_7},
        {true, VER_PLATFORM_WIN32_NT, 6, 1, WINDOWS_VISTA_OR_7},
        {true, VER_PLATFORM_WIN32_NT, 6, 2, WINDOWS_OTHER},
        {true, VER_PLATFORM_WIN32_NT, 6, 3, WINDOWS_OTHER},
        {true, VER_PLATFORM_WIN32_NT, 10, 0, WINDOWS_OTHER},
        {true, VER_PLATFORM_WIN32_NT, 4, 0, WINDOWS_OTHER},
        {true, VER_PLATFORM_WIN32_WINDOWS, 6, 1, WINDOWS_OTHER},
        {true, VER_PLATFORM_WIN32s, 6, 0, WINDOWS_OTHER},
        {false, VER_PLATFORM_WIN32_NT, 6, 1, WINDOWS_UNKNOWN},
        {false, 0, 0, 0, WINDOWS_UNKNOWN},
    };
    for (auto& c : cases)
        EXPECT_EQ(classify_version(c.ok, c.platform, c.major, c.minor), c.expected)
            << c.ok << " " << c.platform << " " << c.major << "." << c.minor;

    EXPECT_EQ(autoplay_setting_for(WINDOWS_OTHER), AUTOPLAY_MACHINE_POLICY);
    EXPECT_EQ(autoplay_setting_for(WINDOWS_VISTA_OR_7), AUTOPLAY_USER_SWITCH);
    EXPECT_EQ(autoplay_setting_for(WINDOWS_UNKNOWN), AUTOPLAY_USER_SWITCH);
}

DWORD read_dword(HKEY root, const char* path, const char* name)
{
    std::string bytes;
    DWORD type = 0;
    if (!ts::reg_get(root, path, name, &bytes, &type) || type != REG_DWORD || bytes.size() != 4)
        return kUntouched;
    return *reinterpret_cast<const DWORD*>(bytes.data());
}

enum prior_user_state { USER_SWITCH_ABSENT_KEY, USER_SWITCH_ZERO };

// Runs the probe with Wine reporting `wine_version` and checks which of the
// two settings it wrote. The other one holds a marker that must survive.
struct version_case {
    const char* wine_version;
    int expected_class;
    prior_user_state prior;
};

class AutoplayUnderWine : public ::testing::TestWithParam<version_case> {
protected:
    void TearDown() override { ts::reg_delete_tree(HKEY_CURRENT_USER, kProbeDefaults); }
};

TEST_P(AutoplayUnderWine, WritesTheSettingOfTheReportedVersion)
{
    const version_case& c = GetParam();
    ASSERT_TRUE(ts::reg_set_sz(HKEY_CURRENT_USER, kProbeDefaults, "Version", c.wine_version));
    bool user_expected = c.expected_class != WINDOWS_OTHER;

    ts::reg_delete_tree(HKEY_CURRENT_USER, AUTOPLAY_HANDLERS_KEY);
    if (!user_expected || c.prior == USER_SWITCH_ZERO)
        ts::reg_set_dword(HKEY_CURRENT_USER, AUTOPLAY_HANDLERS_KEY, DISABLE_AUTOPLAY_VALUE,
                          user_expected ? 0 : kUntouched - 1);
    ts::reg_set_dword(HKEY_LOCAL_MACHINE, EXPLORER_POLICIES_KEY, NO_DRIVE_TYPE_AUTORUN_VALUE,
                      user_expected ? kUntouched - 1 : 0x91);

    ts::run_result r = ts::run("\"" + ts::sibling("autoplay_probe.exe") + "\"", 20000);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exit_code, DWORD(c.expected_class));

    DWORD user = read_dword(HKEY_CURRENT_USER, AUTOPLAY_HANDLERS_KEY, DISABLE_AUTOPLAY_VALUE);
    DWORD machine =
        read_dword(HKEY_LOCAL_MACHINE, EXPLORER_POLICIES_KEY, NO_DRIVE_TYPE_AUTORUN_VALUE);
    if (user_expected) {
        EXPECT_EQ(user, 1u);
        EXPECT_EQ(machine, kUntouched - 1);
    } else {
        EXPECT_EQ(user, kUntouched - 1);
        EXPECT_EQ(machine, DWORD(NO_DRIVE_TYPE_AUTORUN_DATA));
    }
    ts::reg_delete_tree(HKEY_CURRENT_USER, AUTOPLAY_HANDLERS_KEY);
    ts::reg_delete_value(HKEY_LOCAL_MACHINE, EXPLORER_POLICIES_KEY, NO_DRIVE_TYPE_AUTORUN_VALUE);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, AutoplayUnderWine,
    ::testing::Values(version_case{"win7", WINDOWS_VISTA_OR_7, USER_SWITCH_ABSENT_KEY},
                      version_case{"win7", WINDOWS_VISTA_OR_7, USER_SWITCH_ZERO},
                      version_case{"win2008r2", WINDOWS_VISTA_OR_7, USER_SWITCH_ZERO},
                      version_case{"vista", WINDOWS_VISTA_OR_7, USER_SWITCH_ABSENT_KEY},
                      version_case{"win2008", WINDOWS_VISTA_OR_7, USER_SWITCH_ZERO},
                      version_case{"win2k", WINDOWS_OTHER, USER_SWITCH_ZERO},
                      version_case{"winxp", WINDOWS_OTHER, USER_SWITCH_ZERO},
                      version_case{"winxp64", WINDOWS_OTHER, USER_SWITCH_ZERO},
                      version_case{"win2003", WINDOWS_OTHER, USER_SWITCH_ZERO},
                      version_case{"win8", WINDOWS_OTHER, USER_SWITCH_ZERO},
                      version_case{"win10", WINDOWS_OTHER, USER_SWITCH_ZERO}),
    [](const ::testing::TestParamInfo<version_case>& test) {
        return std::string(test.param.wine_version) +
               (test.param.prior == USER_SWITCH_ZERO ? "_UserSwitchWasZero" : "_NoHandlersKey");
    });

} // namespace
