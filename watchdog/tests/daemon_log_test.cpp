#include "contract.h"
#include "daemon_log.h"
#include "log_records.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <time.h>

namespace {

const size_t THRESHOLD = 3145728;

std::string local_stamp_now()
{
    time_t now = time(nullptr);
    char text[32] = {};
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", localtime(&now));
    return text;
}

std::string record(const std::string& stored_message)
{
    return "<T> : [VM-Daemon] " + stored_message + "\r\r\n";
}

class DaemonLog : public ::testing::Test {
protected:
    void SetUp() override { logs::clear_daemon_log(); }
    void TearDown() override { logs::clear_daemon_log(); }

    std::string log() const { return ts::read_file(logs::daemon_log_path()); }
};

TEST_F(DaemonLog, RecordsAreStoredByteForByte)
{
    const std::string a511(511, 'a');
    struct {
        const char* name;
        std::string message;
        std::string stored;
    } rows[] = {
        {"fixed", "get writefile errorcode 995", "get writefile errorcode 995"},
        {"511 characters", a511, a511},
        {"512 characters lose the last", a511 + "b", a511},
        {"own line feed", "check_log_space success.\n", "check_log_space success.\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ts::remove_file(logs::daemon_log_path());
        write_daemon_log("%s", row.message.c_str());
        EXPECT_EQ(record(row.stored), logs::mask_stamps(log()));
    }
}

TEST_F(DaemonLog, FormatsArgumentsAndStampsLocalTime)
{
    std::string before = local_stamp_now();
    write_daemon_log("get writefile errorcode %d", 995);
    std::string after = local_stamp_now();

    std::string bytes = log();
    ASSERT_GT(bytes.size(), 19u);
    std::string stamp = bytes.substr(0, 19);
    EXPECT_TRUE(logs::is_stamp(stamp)) << stamp;
    EXPECT_LE(before, stamp);
    EXPECT_GE(after, stamp);
    EXPECT_EQ(" : [VM-Daemon] get writefile errorcode 995\x0d\x0d\x0a", bytes.substr(19));
}

TEST_F(DaemonLog, AppendsToWhatIsThere)
{
    ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), "earlier\r\n"));
    write_daemon_log("one");
    write_daemon_log("two %s", "more");
    std::string bytes = log();
    ASSERT_EQ(0u, bytes.find("earlier\r\n"));
    EXPECT_EQ(record("one") + record("two more"), logs::mask_stamps(bytes.substr(9)));
}

TEST_F(DaemonLog, RotatesOnlyAboveThreeMebibytes)
{
    struct {
        size_t size;
        bool rotated;
    } rows[] = {{THRESHOLD, false}, {THRESHOLD + 1, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        std::string big(row.size, 'x');
        big.replace(0, 6, "first ");
        big.replace(row.size - 5, 5, " last");
        ASSERT_TRUE(ts::write_file(logs::daemon_log_path(), big));
        ASSERT_TRUE(ts::write_file(logs::daemon_backup_path(), "previous backup"));

        check_log_space();

        if (row.rotated) {
            EXPECT_TRUE(ts::read_file(logs::daemon_backup_path()) == big) << "backup replaced";
            EXPECT_EQ(record("check_log_space success.\r\n"), logs::mask_stamps(log()));
        } else {
            EXPECT_EQ("previous backup", ts::read_file(logs::daemon_backup_path()));
            EXPECT_TRUE(log() == big) << "log left alone";
        }
    }
}

TEST_F(DaemonLog, MissingLogIsReportedByTheRotationCheck)
{
    check_log_space();
    EXPECT_EQ(record("open " + logs::daemon_log_path() + " failed!\r\n"), logs::mask_stamps(log()));
    EXPECT_FALSE(ts::file_exists(logs::daemon_backup_path()));
}

TEST_F(DaemonLog, WithoutMonitorFolderNothingIsWritten)
{
    ts::remove_tree(logs::monitor_folder());
    write_daemon_log("lost %d", 1);
    check_log_space();
    EXPECT_FALSE(ts::file_exists(logs::monitor_folder()));
}

TEST_F(DaemonLog, ProgramFilesFolderOfA64BitProcess)
{
    char buffer[260];
    memset(buffer, 0x5A, sizeof buffer);
    select_program_files_folder(buffer);
    EXPECT_STREQ(PROGRAM_FILES_FOLDER, buffer);
    append_daemon_log_name(buffer);
    EXPECT_EQ(logs::daemon_log_path(), buffer);

    // A folder too long for the name keeps 259 characters and its terminator.
    std::string folder(240, 'f');
    memcpy(buffer, folder.c_str(), folder.size() + 1);
    append_daemon_log_name(buffer);
    EXPECT_EQ(folder + std::string(DAEMON_LOG_NAME).substr(0, 19), buffer);
}

} // namespace
