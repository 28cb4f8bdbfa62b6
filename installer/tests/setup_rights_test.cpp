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
#include "handles.h"
#include "monitor_setup.h"
#include "test_seams.h"
#include "test_support.h"
#include "watchdog_seams.h"

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
    unique_local<char*> text;
    if (!ConvertSidToStringSidA(sid, text.put()))
        return "?";
    return text.get();
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
    const std::string daemon_backup = folder + "\\sen-drik-hald-1.log";
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
    EXPECT_TRUE(ts::file_exists(daemon_backup));   // before any rotation: no user takes the name
    EXPECT_EQ(ts::read_file(daemon_backup), "");
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
    EXPECT_TRUE(said("cannot open"));
    EXPECT_FALSE(ts::file_exists(folder + "\\missing"));
}

// ---- A folder or a watchdog log planted before the install ----

const DWORD PLAIN_FILE = FILE_ATTRIBUTE_ARCHIVE;
const DWORD REPARSE_FILE = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT;

TEST(PlantedLog, OnlyAPlainFileOfOneNameOwnedBySystemOrAdministratorsIsKept)
{
    struct row {
        found_log found;
        daemon_log_step step;
    } rows[] = {
        {{false, 0, 0, OWNER_UNKNOWN}, DAEMON_LOG_CREATE},
        {{true, PLAIN_FILE, 1, OWNER_SYSTEM}, DAEMON_LOG_KEEP},
        {{true, PLAIN_FILE, 1, OWNER_THIS_ACCOUNT}, DAEMON_LOG_KEEP},
        {{true, FILE_ATTRIBUTE_READONLY, 1, OWNER_SYSTEM}, DAEMON_LOG_KEEP},
        {{true, PLAIN_FILE, 2, OWNER_SYSTEM}, DAEMON_LOG_REPLACE},     // a link to a file elsewhere
        {{true, PLAIN_FILE, 1, OWNER_OTHER}, DAEMON_LOG_REPLACE},      // a user's, or TrustedInstaller's
        {{true, PLAIN_FILE, 1, OWNER_UNKNOWN}, DAEMON_LOG_REPLACE},
        {{true, REPARSE_FILE, 1, OWNER_SYSTEM}, DAEMON_LOG_REPLACE},   // a symbolic link
        {{true, FILE_ATTRIBUTE_DIRECTORY, 1, OWNER_SYSTEM}, DAEMON_LOG_REPLACE},
        {{true, INVALID_FILE_ATTRIBUTES, 1, OWNER_SYSTEM}, DAEMON_LOG_REPLACE},
    };
    for (const row& r : rows)
        EXPECT_EQ(daemon_log_step_for(r.found), r.step)
            << r.found.attributes << " links " << r.found.links << " owner " << r.found.owner;

    EXPECT_TRUE(is_plain_folder(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE(is_plain_folder(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
    for (DWORD attributes : {DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), PLAIN_FILE,
                             DWORD(INVALID_FILE_ATTRIBUTES)})
        EXPECT_FALSE(is_plain_folder(attributes)) << attributes;
}

TEST(PlantedLog, OwnersAreToldApartBySid)
{
    const char* self_text = "S-1-5-21-1-2-3-1001";  // given as the action's own account
    const std::pair<const char*, file_owner> rows[] = {
        {"S-1-5-18", OWNER_SYSTEM}, {"S-1-5-32-544", OWNER_ADMINISTRATORS}, {self_text, OWNER_THIS_ACCOUNT},
        {"S-1-5-21-1-2-3-1002", OWNER_OTHER}, {"S-1-5-32-545", OWNER_OTHER},  // a user, Users
        {"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", OWNER_OTHER},  // TrustedInstaller
    };
    unique_local<PSID> self, owner;
    ASSERT_TRUE(ConvertStringSidToSidA(self_text, self.put()));
    for (const auto& r : rows) {
        ASSERT_TRUE(ConvertStringSidToSidA(r.first, owner.put())) << r.first;
        EXPECT_EQ(classify_owner(owner.get(), self.get()), r.second) << r.first;
    }
    EXPECT_EQ(classify_owner(nullptr, self.get()), OWNER_UNKNOWN);
}

DWORD links_of(const std::string& path)
{
    unique_handle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                   FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    return file && GetFileInformationByHandle(file.get(), &info) ? info.nNumberOfLinks : 0;
}

TEST_F(MonitorSetup, AWatchdogLogLinkedToAnotherFileIsReplacedByAnEmptyOne)
{
    std::string victim = "C:\\gt_monitor_setup_victim.txt";
    ASSERT_TRUE(ts::write_file(victim, "a user's own file"));
    ASSERT_TRUE(CreateHardLinkA(daemon_log.c_str(), victim.c_str(), nullptr)) << GetLastError();
    ASSERT_EQ(secure(folder), (DWORD)ERROR_SUCCESS);
    EXPECT_TRUE(said("replaced " + daemon_log + " by an empty log (links: 2"));
    EXPECT_EQ(ts::read_file(daemon_log), "");
    EXPECT_EQ(links_of(daemon_log), 1u);
    EXPECT_EQ(ts::read_file(victim), "a user's own file");
    EXPECT_EQ(links_of(victim), 1u);
    ts::remove_file(victim);
}

TEST_F(MonitorSetup, AWatchdogLogOfAnotherOwnerIsReplacedAndOneOfSystemKept)
{
    // Wine keeps no owners (every file is its user's): the test build's seam
    // names the owner the action reads.
    ASSERT_TRUE(ts::write_file(daemon_log, "kept\r\r\n"));
    apply_test_seams();
    SetEnvironmentVariableA(TEST_LOG_OWNER_ENV, "S-1-5-18");
    EXPECT_EQ(secure(folder), (DWORD)ERROR_SUCCESS);
    EXPECT_EQ(ts::read_file(daemon_log), "kept\r\r\n");

    // A user's file, read-only as well: replaced all the same.
    SetFileAttributesA(daemon_log.c_str(), FILE_ATTRIBUTE_READONLY);
    SetEnvironmentVariableA(TEST_LOG_OWNER_ENV, "S-1-5-21-1-2-3-1001");
    EXPECT_EQ(secure(folder), (DWORD)ERROR_SUCCESS);
    SetEnvironmentVariableA(TEST_LOG_OWNER_ENV, nullptr);
    EXPECT_TRUE(said("replaced " + daemon_log + " by an empty log (links: 1, owner: another account)"));
    EXPECT_EQ(ts::read_file(daemon_log), "");
    EXPECT_EQ(GetFileAttributesA(daemon_log.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(MonitorSetup, AWatchdogLogWhoseOwnerCannotBeReadIsReplaced)
{
    ASSERT_TRUE(ts::write_file(daemon_log, "kept?\r\n"));
    apply_test_seams();
    SetEnvironmentVariableA(TEST_LOG_OWNER_ENV, "not a SID");
    EXPECT_EQ(secure(folder), (DWORD)ERROR_SUCCESS);
    SetEnvironmentVariableA(TEST_LOG_OWNER_ENV, nullptr);
    EXPECT_TRUE(said("replaced " + daemon_log + " by an empty log (links: 1, owner: unreadable)"));
    EXPECT_EQ(ts::read_file(daemon_log), "");
}

} // namespace
