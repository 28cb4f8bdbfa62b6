// The watchdog log and its backup held open by readers, with and without
// sharing, while records are written and the log is rotated: a reader that
// shares no writing only delays records, none is lost. Hard links put in
// their places: the files they name are never written, the log goes on in a
// new file. A read-only backup does not stop the rotation.
#include "daemon_log.h"
#include "handles.h"
#include "test_seams.h"
#include "watchdog_seams.h"
#include "log_records.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string.h>
#include <vector>

namespace {

typedef std::vector<std::string> lines;

const size_t ABOVE_THRESHOLD = 3145729;
const std::string NL = "\r\n";

unique_handle open_reader(const std::string& path, DWORD share)
{
    unique_handle reader(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    return reader;
}

std::string big_log()
{
    // One record of the threshold's size plus one byte.
    std::string head = "2026-01-01 00:00:00 : [VM-Daemon] ";
    return head + std::string(ABOVE_THRESHOLD - head.size() - 3, 'x') + "\r\r\n";
}

struct share_row {
    const char* name;
    DWORD share;
};
const share_row SHARE_ROWS[] = {
    {"read, write and delete shared", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
    {"read shared", FILE_SHARE_READ},
    {"nothing shared", 0},
};

class LogHeld : public ::testing::Test {
protected:
    void SetUp() override { logs::clear_daemon_log(); }
    void TearDown() override { logs::clear_daemon_log(); }
};

TEST(HeldRecords, OnlySharingErrorsHoldAndTheBufferBounds)
{
    struct {
        DWORD error;
        bool held;
    } errors[] = {{ERROR_SHARING_VIOLATION, true}, {ERROR_LOCK_VIOLATION, true},
                  {ERROR_PATH_NOT_FOUND, false}, {ERROR_FILE_NOT_FOUND, false},
                  {ERROR_ACCESS_DENIED, false},  {ERROR_SUCCESS, false}};
    for (const auto& row : errors)
        EXPECT_EQ(row.held, log_open_error_is_sharing(row.error)) << row.error;

    char held[8];
    memset(held, 0x5A, sizeof held);
    held[0] = '\0';
    EXPECT_TRUE(hold_record(held, sizeof held, "abc"));
    EXPECT_TRUE(hold_record(held, sizeof held, "defg"));
    EXPECT_FALSE(hold_record(held, sizeof held, "h"));
    EXPECT_STREQ("abcdefg", held);
}

TEST_F(LogHeld, ReaderDelaysRecordsButLosesNone)
{
    for (const share_row& row : SHARE_ROWS) {
        SCOPED_TRACE(row.name);
        logs::clear_daemon_log();
        write_daemon_log("before");
        {
            unique_handle reader = open_reader(logs::daemon_log_path(), row.share);
            ASSERT_TRUE(reader);
            write_daemon_log("while held %d", 1);
            write_daemon_log("while held %d", 2);
            // Only a reader sharing reading lets the test look meanwhile.
            lines meanwhile = (row.share & FILE_SHARE_WRITE)
                                  ? lines{"before", "while held 1", "while held 2"}
                                  : lines{"before"};
            if (row.share & FILE_SHARE_READ) {
                EXPECT_EQ(meanwhile, logs::daemon_log_messages());
            }
        }
        write_daemon_log("after");
        EXPECT_EQ((lines{"before", "while held 1", "while held 2", "after"}),
                  logs::daemon_log_messages());
        EXPECT_EQ(std::string::npos, logs::mask_stamps(ts::read_file(logs::daemon_log_path()))
                                         .find("<BAD STAMP>"));
    }
}

// The reader holds the log across a rotation; once it lets go, the records
// of the meantime are in the backup or the new log, in order.
TEST_F(LogHeld, ReaderAcrossARotation)
{
    for (const share_row& row : SHARE_ROWS) {
        SCOPED_TRACE(row.name);
        logs::clear_daemon_log();
        ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), big_log()));
        {
            unique_handle reader = open_reader(logs::daemon_log_path(), row.share);
            ASSERT_TRUE(reader);
            check_log_space();
            write_daemon_log("while held");
        }
        write_daemon_log("after");
        check_log_space();
        check_log_space();

        lines all = logs::daemon_log_messages(logs::daemon_backup_path());
        lines now = logs::daemon_log_messages();
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(std::string(ABOVE_THRESHOLD - 37, 'x'), all[0]) << "the old log comes first";
        all.erase(all.begin());
        all.insert(all.end(), now.begin(), now.end());
        std::vector<std::string> wanted = {"while held", "after"};
        size_t found = 0;
        for (const std::string& message : all) {
            if (found < wanted.size() && message == wanted[found])
                ++found;
        }
        EXPECT_EQ(wanted.size(), found) << ::testing::PrintToString(all);
        EXPECT_LT(ts::read_file(logs::daemon_log_path()).size(), 4096u) << "rotated in the end";
        EXPECT_NE(all.end(), std::find(all.begin(), all.end(), "check_log_space success." + NL));
    }
}

TEST_F(LogHeld, BackupReadLockedDuringARotation)
{
    for (const share_row& row : SHARE_ROWS) {
        if (row.share & FILE_SHARE_WRITE)
            continue;   // a reader that lets others write does not stop the copy
        SCOPED_TRACE(row.name);
        logs::clear_daemon_log();
        const std::string big = big_log();
        ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), big));
        ASSERT_TRUE(ts::write_file(logs::daemon_backup_path(), "previous backup"));
        {
            unique_handle reader = open_reader(logs::daemon_backup_path(), row.share);
            ASSERT_TRUE(reader);
            check_log_space();
        }
        EXPECT_EQ("previous backup", ts::read_file(logs::daemon_backup_path()));
        std::string grown = ts::read_file(logs::daemon_log_path());
        ASSERT_EQ(big, grown.substr(0, big.size())) << "log not emptied";
        EXPECT_EQ("<T> : [VM-Daemon] CopyFile failed.\r\n\r\r\n",
                  logs::mask_stamps(grown.substr(big.size())));

        check_log_space();
        EXPECT_TRUE(ts::read_file(logs::daemon_backup_path()) == grown) << "copied on the next turn";
        EXPECT_EQ(lines{"check_log_space success." + NL}, logs::daemon_log_messages());
    }
}

// Users may create files in the monitor folder, and anyone who can read the
// log may give it a second name elsewhere: a name with another link is
// replaced by a new file, the files behind the other names are never written,
// and the records go on.
TEST_F(LogHeld, HardLinksAreReplacedAndNeverWrittenThrough)
{
    const std::string other = "C:\\gt_test\\other_file.txt";
    const std::string big = big_log();
    ts::make_dirs("C:\\gt_test");

    // As the backup: only the link goes, the rotation goes on.
    ASSERT_TRUE(ts::write_file(other, big));
    ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), big + "newest"));
    ASSERT_TRUE(CreateHardLinkA(logs::daemon_backup_path().c_str(), other.c_str(), nullptr));
    check_log_space();
    EXPECT_TRUE(ts::read_file(other) == big) << "written through the backup's name";
    EXPECT_TRUE(ts::read_file(logs::daemon_backup_path()) == big + "newest");
    EXPECT_EQ(lines{"check_log_space success." + NL}, logs::daemon_log_messages());

    // The backup given a second name after it was made: the next rotation
    // leaves that name the old backup.
    ts::remove_file(other);
    ASSERT_TRUE(CreateHardLinkA(other.c_str(), logs::daemon_backup_path().c_str(), nullptr));
    ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), big + "later"));
    check_log_space();
    EXPECT_TRUE(ts::read_file(other) == big + "newest") << "the other name lost its bytes";
    EXPECT_TRUE(ts::read_file(logs::daemon_backup_path()) == big + "later");

    // A second name given to the log that exists: the other name keeps what
    // was written, the log goes on in a new file, rotation included.
    logs::clear_daemon_log();
    ts::remove_file(other);
    write_daemon_log("before the link");
    ASSERT_TRUE(CreateHardLinkA(other.c_str(), logs::daemon_log_path().c_str(), nullptr));
    const std::string before = ts::read_file(other);
    write_daemon_log("after the link");
    EXPECT_EQ(before, ts::read_file(other));
    EXPECT_EQ(lines{"after the link"}, logs::daemon_log_messages());
    ts::remove_file(other);
    ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), big));
    ASSERT_TRUE(CreateHardLinkA(other.c_str(), logs::daemon_log_path().c_str(), nullptr));
    check_log_space();
    EXPECT_TRUE(ts::read_file(other) == big) << "emptied through the log's name";
    write_daemon_log("goes on");
    EXPECT_EQ(lines{"goes on"}, logs::daemon_log_messages());
    ts::remove_file(other);
}

// The attack on the name: a user who may read the log holds it open, sharing
// deletion, and gives it a second name. Removing the name then would leave
// it pending deletion until the user lets go, and the user could make it
// their own at once. The name stays the watchdog's throughout, the other
// name keeps only what was written before, and the records go on.
TEST_F(LogHeld, AUserHoldingTheLogCannotTakeItsName)
{
    const std::string other = "C:\\gt_test\\taken_log_link.txt";
    ts::make_dirs("C:\\gt_test");
    ts::remove_file(other);
    write_daemon_log("before");
    const std::string before = ts::read_file(logs::daemon_log_path());
    {
        unique_handle held = open_reader(logs::daemon_log_path(),
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        ASSERT_TRUE(held);
        ASSERT_TRUE(CreateHardLinkA(other.c_str(), logs::daemon_log_path().c_str(), nullptr));
        write_daemon_log("while held");
    }
    unique_handle taken(CreateFileA(logs::daemon_log_path().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(taken) << "the name was free to take";
    taken.reset();
    write_daemon_log("after");
    lines now = logs::daemon_log_messages();
    ASSERT_FALSE(now.empty());
    EXPECT_EQ("after", now.back());
    EXPECT_EQ(now.end(), std::find(now.begin(), now.end(), "before"));
    EXPECT_EQ(before, ts::read_file(other));
    ts::remove_file(other);
}

// A log owned by anyone but SYSTEM or Administrators (a user's file put
// there while the name was free) is replaced, never appended to.
TEST_F(LogHeld, ALogOfAnotherOwnerIsReplacedNotWrittenTo)
{
    apply_test_seams();
    ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), "a user's file\r\n"));
    BY_HANDLE_FILE_INFORMATION planted = {};
    {
        unique_handle file = open_reader(logs::daemon_log_path(), FILE_SHARE_READ);
        ASSERT_TRUE(file && GetFileInformationByHandle(file.get(), &planted));
    }
    const std::string index = std::to_string(planted.nFileIndexHigh) + ":" + std::to_string(planted.nFileIndexLow);
    SetEnvironmentVariableA(TEST_LOG_OWNER_ENV, "S-1-5-21-1-2-3-1001");
    SetEnvironmentVariableA(TEST_OWNED_FILE_ENV, index.c_str());
    write_daemon_log("record");
    write_daemon_log("next");
    SetEnvironmentVariableA(TEST_LOG_OWNER_ENV, nullptr);
    SetEnvironmentVariableA(TEST_OWNED_FILE_ENV, nullptr);
    EXPECT_EQ((lines{"record", "next"}), logs::daemon_log_messages());
}

// A backup someone made read-only: the next rotation still replaces it.
// One with another name keeps its attribute, which is that name's too: its
// rotation fails and the file behind the other name is left as it was.
TEST_F(LogHeld, ReadOnlyBackupIsReplacedOnlyWhenItHasOneName)
{
    ASSERT_TRUE(ts::write_file(logs::daemon_backup_path(), "previous backup"));
    ASSERT_TRUE(SetFileAttributesA(logs::daemon_backup_path().c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), big_log()));
    check_log_space();
    EXPECT_TRUE(ts::read_file(logs::daemon_backup_path()) == big_log()) << "backup not replaced";
    EXPECT_EQ(lines{"check_log_space success." + NL}, logs::daemon_log_messages());

    const std::string other = "C:\\gt_test\\read_only_other.txt";
    ts::make_dirs("C:\\gt_test");
    SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_NORMAL);
    ts::remove_file(other);
    ASSERT_TRUE(ts::write_file(other, "a user's file"));
    ASSERT_TRUE(SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_READONLY));
    ts::remove_file(logs::daemon_backup_path());
    ASSERT_TRUE(CreateHardLinkA(logs::daemon_backup_path().c_str(), other.c_str(), nullptr));
    ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), big_log()));
    check_log_space();
    EXPECT_NE(0u, GetFileAttributesA(other.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ("a user's file", ts::read_file(other));
    SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_NORMAL);
    ts::remove_file(other);
    SetFileAttributesA(logs::daemon_backup_path().c_str(), FILE_ATTRIBUTE_NORMAL);
}

} // namespace
