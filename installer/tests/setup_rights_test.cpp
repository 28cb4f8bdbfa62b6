// The rights of the log folder and of the shared tray log, and the custom
// action's work on the folder. Wine keeps no rights on files (it answers
// every query with rights made from the Unix mode), so what Windows would
// enforce is checked on the tables and on the descriptors built from them.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "contract.h"
#include "file_rights.h"
#include "monitor_setup.h"
#include "test_support.h"

namespace {

const DWORD WRITE_ANY = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER;
const DWORD USER_NOT_ON_FOLDER = FILE_DELETE_CHILD | FILE_ADD_SUBDIRECTORY | DELETE | WRITE_DAC | WRITE_OWNER;

// What `actor` may do on the folder itself, by the folder's table.
DWORD on_folder(rights_table table, rights_account actor)
{
    DWORD mask = 0;
    for (size_t i = 0; i < table.count; ++i) {
        const rights_entry& e = table.entries[i];
        if (!(e.inheritance & INHERIT_ONLY_ACE) && e.account == actor)
            mask |= e.mask;
    }
    return mask;
}

// What `actor` may do on a file made in the folder by `owner`, by the rules
// of inheritance: entries that files inherit, CREATOR OWNER becoming the owner.
DWORD on_new_file(rights_table table, rights_account actor, bool actor_is_owner)
{
    DWORD mask = 0;
    for (size_t i = 0; i < table.count; ++i) {
        const rights_entry& e = table.entries[i];
        if (!(e.inheritance & OBJECT_INHERIT_ACE))
            continue;
        if (e.account == actor || (e.account == ACCOUNT_CREATOR_OWNER && actor_is_owner))
            mask |= e.mask;
    }
    return mask;
}

TEST(FolderRights, UsersAddFilesAndChangeOnlyTheirOwn)
{
    rights_table folder = monitor_folder_rights();
    for (rights_account admin : {ACCOUNT_SYSTEM, ACCOUNT_ADMINISTRATORS}) {
        EXPECT_EQ(on_folder(folder, admin) & FILE_ALL_ACCESS, (DWORD)FILE_ALL_ACCESS) << admin;
        EXPECT_EQ(on_new_file(folder, admin, false) & FILE_ALL_ACCESS, (DWORD)FILE_ALL_ACCESS) << admin;
    }
    DWORD user_folder = on_folder(folder, ACCOUNT_USERS);
    EXPECT_EQ(user_folder & (FILE_ADD_FILE | FILE_LIST_DIRECTORY | FILE_TRAVERSE),
              (DWORD)(FILE_ADD_FILE | FILE_LIST_DIRECTORY | FILE_TRAVERSE));
    EXPECT_EQ(user_folder & USER_NOT_ON_FOLDER, 0u) << std::hex << user_folder;
    // The watchdog's logs (made by SYSTEM) and another user's files: read only.
    DWORD others = on_new_file(folder, ACCOUNT_USERS, false);
    EXPECT_EQ(others & FILE_GENERIC_READ, (DWORD)FILE_GENERIC_READ);
    EXPECT_EQ(others & WRITE_ANY, 0u) << std::hex << others;
    // A file of one's own: append, rewrite, delete; never its rights.
    DWORD own = on_new_file(folder, ACCOUNT_USERS, true);
    EXPECT_EQ(own & (FILE_APPEND_DATA | FILE_WRITE_DATA | DELETE),
              (DWORD)(FILE_APPEND_DATA | FILE_WRITE_DATA | DELETE));
    EXPECT_EQ(own & (WRITE_DAC | WRITE_OWNER), 0u);
}

TEST(FolderRights, EveryUsersTrayAppendsToAndTrimsTheSharedLog)
{
    DWORD users = on_folder(shared_log_rights(), ACCOUNT_USERS);
    EXPECT_EQ(users & (FILE_GENERIC_READ | FILE_APPEND_DATA | FILE_WRITE_DATA | DELETE),
              (DWORD)(FILE_GENERIC_READ | FILE_APPEND_DATA | FILE_WRITE_DATA | DELETE));
    EXPECT_EQ(users & (WRITE_DAC | WRITE_OWNER), 0u);
    EXPECT_EQ(on_folder(shared_log_rights(), ACCOUNT_ADMINISTRATORS), (DWORD)FILE_ALL_ACCESS);
}

std::string sid_text(PSID sid)
{
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text))
        return "?";
    std::string out = text;
    LocalFree(text);
    return out;
}

TEST(FolderRights, DescriptorsHoldTheTablesByWellKnownSidAndInheritNothing)
{
    const char* sids[] = {"S-1-5-18", "S-1-5-32-544", "S-1-5-32-545", "S-1-3-0"};
    for (rights_table table : {monitor_folder_rights(), shared_log_rights()}) {
        file_security security;
        memset(&security, 0xA5, sizeof security);
        ASSERT_TRUE(build_file_security(table, &security)) << GetLastError();
        ASSERT_TRUE(IsValidSecurityDescriptor(&security.descriptor));
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(&security.descriptor, &control, &revision));
        EXPECT_TRUE(control & SE_DACL_PROTECTED);
        BOOL present = FALSE, defaulted = TRUE;
        PACL acl = nullptr;
        ASSERT_TRUE(GetSecurityDescriptorDacl(&security.descriptor, &present, &acl, &defaulted));
        ASSERT_TRUE(present && acl);
        ASSERT_EQ(acl->AceCount, table.count);
        for (size_t i = 0; i < table.count; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(acl, (DWORD)i, reinterpret_cast<void**>(&ace)));
            EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
            EXPECT_EQ(ace->Header.AceFlags, table.entries[i].inheritance) << i;
            EXPECT_EQ(ace->Mask, table.entries[i].mask) << i;
            EXPECT_EQ(sid_text(&ace->SidStart), sids[table.entries[i].account]) << i;
        }
    }
}

class MonitorSetup : public ::testing::Test {
protected:
    const std::string folder = "C:\\gt_monitor_setup";
    const std::string daemon_log = folder + "\\sen-drik-hald.log";
    const std::string tray_log = folder + "\\qor_tel.log";
    std::vector<std::string> lines;

    void SetUp() override
    {
        ts::remove_tree(folder);
        ts::make_dirs(folder);
    }
    void TearDown() override { ts::remove_tree(folder); }

    DWORD secure(const std::string& path)
    {
        return secure_monitor_folder(path.c_str(), [](void* context, const char* text) {
            static_cast<std::vector<std::string>*>(context)->push_back(text);
        }, &lines);
    }
    bool said(const std::string& part) const
    {
        for (const std::string& line : lines)
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }
};

TEST_F(MonitorSetup, MakesAnEmptyWatchdogLogAndKeepsExistingLogs)
{
    ASSERT_EQ(secure(folder + "\\"), (DWORD)ERROR_SUCCESS);
    EXPECT_TRUE(ts::file_exists(daemon_log));
    EXPECT_EQ(ts::read_file(daemon_log), "");
    EXPECT_FALSE(ts::file_exists(tray_log));  // the first tray makes it

    ASSERT_TRUE(ts::write_file(daemon_log, "old watchdog lines\r\r\n"));
    ASSERT_TRUE(ts::write_file(tray_log, "old tray lines\r\n"));
    lines.clear();
    ASSERT_EQ(secure(folder), (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(ts::read_file(daemon_log), "old watchdog lines\r\r\n");
    EXPECT_EQ(ts::read_file(tray_log), "old tray lines\r\n");
    EXPECT_TRUE(said("every user may append to " + tray_log));
}

TEST_F(MonitorSetup, ATrayLogWithASecondNameIsLeftAlone)
{
    std::string elsewhere = "C:\\gt_monitor_setup_target.txt";
    ASSERT_TRUE(ts::write_file(elsewhere, "not a log"));
    ASSERT_TRUE(CreateHardLinkA(tray_log.c_str(), elsewhere.c_str(), nullptr)) << GetLastError();
    EXPECT_EQ(secure(folder), (DWORD)ERROR_SUCCESS);
    EXPECT_TRUE(said("is not a plain file"));
    EXPECT_FALSE(said("every user may append"));
    ts::remove_file(tray_log);
    ts::remove_file(elsewhere);
}

TEST_F(MonitorSetup, AMissingFolderFailsTheAction)
{
    EXPECT_EQ(secure(folder + "\\missing"), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(said("cannot set the rights of"));
    EXPECT_FALSE(ts::file_exists(folder + "\\missing"));
}

} // namespace
