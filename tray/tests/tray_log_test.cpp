#include <gtest/gtest.h>

#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "contract.h"
#include "logs.h"
#include "test_support.h"
#include "tray_log.h"
#include "upgrade_prompt.h"

namespace {

const std::string kMonitor = logs::monitor_folder();
const std::string kLog = logs::tray_log_path();

class TrayLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ts::make_dirs(kMonitor);
        ts::remove_file(kLog);
    }
    void TearDown() override
    {
        ts::make_dirs(kMonitor);
        ts::remove_file(kLog);
    }
};

std::vector<std::string> split_crlf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

// "YYYY-MM-DD HH:MM:SS" as local time, or -1.
time_t parse_stamp(const std::string& stamp)
{
    struct tm t = {};
    char tail = 0;
    if (stamp.size() != 19 ||
        sscanf(stamp.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.tm_year, &t.tm_mon, &t.tm_mday,
               &t.tm_hour, &t.tm_min, &t.tm_sec, &tail) != 6)
        return -1;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    t.tm_isdst = -1;
    return mktime(&t);
}

TEST_F(TrayLog, LinesAreStampSeparatorMessageAndCrLf)
{
    time_t before = time(nullptr);
    write_tray_log("tray running");
    write_tray_log("SystemParametersInfo get work area failed!\n");
    time_t after = time(nullptr);

    std::string text = ts::read_file(kLog);
    ASSERT_EQ(text.size(), 2 * 19 + std::string(" : tray running\r\n").size() +
                               std::string(" : SystemParametersInfo get work area failed!\r\n\r\n").size())
        << text;
    EXPECT_EQ(text.substr(19, 17), " : tray running\r\n");
    EXPECT_EQ(text.substr(36 + 19), " : SystemParametersInfo get work area failed!\r\n\r\n");
    for (size_t at : {size_t(0), size_t(36)}) {
        time_t stamp = parse_stamp(text.substr(at, 19));
        EXPECT_GE(stamp, before - 1) << text.substr(at, 19);
        EXPECT_LE(stamp, after + 1) << text.substr(at, 19);
    }
}

TEST_F(TrayLog, NothingIsWrittenWithoutTheMonitorFolder)
{
    ts::remove_tree(kMonitor);
    write_tray_log("tray running");
    EXPECT_FALSE(ts::file_exists(kMonitor));
    EXPECT_FALSE(ts::file_exists(kLog));
}

TEST_F(TrayLog, StartUpDeletesOnlyALogAbove10240Bytes)
{
    struct {
        size_t size;
        bool survives;
    } cases[] = {{0, true}, {1, true}, {10240, true}, {10241, false}, {50000, false}};
    for (auto& c : cases) {
        ASSERT_TRUE(ts::write_file(kLog, std::string(c.size, 'x')));
        trim_tray_log();
        EXPECT_EQ(ts::file_exists(kLog), c.survives) << c.size;
        if (c.survives) {
            EXPECT_EQ(ts::read_file(kLog).size(), c.size);
        }
    }
    ts::remove_file(kLog);
    trim_tray_log();  // no file: nothing happens
    EXPECT_FALSE(ts::file_exists(kLog));
}

TEST_F(TrayLog, ANewLineAfterTrimmingStartsAFreshFile)
{
    ASSERT_TRUE(ts::write_file(kLog, std::string(10241, 'x')));
    trim_tray_log();
    write_tray_log("tray running");
    std::string text = ts::read_file(kLog);
    EXPECT_EQ(text.size(), 19u + 17u);
    EXPECT_EQ(text.find('x'), std::string::npos);
}

// Any user may delete the shared log's name and put a hard link to another
// user's file in its place: the line and the start-up trim leave that file
// alone, and the log goes on in a new file.
TEST_F(TrayLog, AHardLinkPlantedAsTheLogIsReplacedNotWrittenThrough)
{
    const std::string victim = "C:\\gt_test\\victim.txt";
    ts::make_dirs("C:\\gt_test");
    for (size_t size : {size_t(100), size_t(20000)}) {
        SCOPED_TRACE(size);
        const std::string bytes(size, 'v');
        ts::remove_file(kLog);
        ASSERT_TRUE(ts::write_file(victim, bytes));
        ASSERT_TRUE(CreateHardLinkA(kLog.c_str(), victim.c_str(), nullptr));
        trim_tray_log();
        write_tray_log("tray running");
        EXPECT_TRUE(ts::read_file(victim) == bytes) << "victim written";
        std::string text = ts::read_file(kLog);
        ASSERT_EQ(text.size(), 19u + 17u) << text;
        EXPECT_EQ(text.substr(19), " : tray running\r\n");

        // Planted after the trim: the line alone replaces it.
        ts::remove_file(kLog);
        ASSERT_TRUE(CreateHardLinkA(kLog.c_str(), victim.c_str(), nullptr));
        write_tray_log("vm_closing");
        EXPECT_TRUE(ts::read_file(victim) == bytes) << "victim written";
        EXPECT_EQ(ts::read_file(kLog).substr(19), " : vm_closing\r\n");
    }
    ts::remove_file(victim);
}

// The tests' one log reader: a message the tray ends in "\n" reads back as
// written, and whatever breaks either format shows up in the messages.
TEST(LogReader, MessagesOfBothFormatsAndWhatBreaksThem)
{
    typedef std::vector<std::string> lines;
    const std::string S = "2026-01-02 03:04:05";
    struct {
        const char* name;
        const logs::record_format& format;
        std::string text;
        lines messages;
    } rows[] = {
        {"tray lines", logs::TRAY_RECORDS, S + " : tray running\r\n" + S + " : vm_closing\r\n",
         {"tray running", "vm_closing"}},
        {"tray message with its own line end", logs::TRAY_RECORDS,
         S + " : " + "SystemParametersInfo get work area failed!\r\n\r\n" + S + " : next\r\n",
         {LOG_WORK_AREA_FAILED, "next"}},
        {"tray line without stamp first", logs::TRAY_RECORDS, "stray\r\n" + S + " : a\r\n",
         {"<MALFORMED> stray", "a"}},
        {"tray bytes after the last line end", logs::TRAY_RECORDS, S + " : a\r\n" + S + " : ha",
         {"a", "<MALFORMED> " + S + " : ha"}},
        {"tray stamp of the wrong shape", logs::TRAY_RECORDS, "2026-1-02 03:04:05 : a\r\n",
         {"<MALFORMED> 2026-1-02 03:04:05 : a"}},
        {"tray line end alone", logs::TRAY_RECORDS, S + " : a\n", {"<MALFORMED> " + S + " : a\n"}},
        {"daemon records", logs::DAEMON_RECORDS,
         S + " : [VM-Daemon] check_log_space success.\r\n\r\r\n" + S + " : [VM-Daemon] b\r\r\n",
         {"check_log_space success.\r\n", "b"}},
        {"daemon record without its lead", logs::DAEMON_RECORDS,
         S + " : [VM-Daemon] a\r\r\n" + S + " : b\r\r\n", {"a", "<MALFORMED> " + S + " : b"}},
        {"daemon continues nothing", logs::DAEMON_RECORDS, S + " : [VM-Daemon] a\r\r\nmore\r\r\n",
         {"a", "<MALFORMED> more"}},
        {"daemon record cut short", logs::DAEMON_RECORDS, S + " : [VM-Daemon] a\r\n",
         {"<MALFORMED> " + S + " : [VM-Daemon] a\r\n"}},
        {"empty", logs::DAEMON_RECORDS, "", {}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.messages, logs::messages(row.text, row.format)) << row.name;
}

TEST(TrayLogPath, OnlyWholePathsOfAtMost258CharactersAreMade)
{
    struct {
        size_t folder_length;
        bool made;
    } cases[] = {{16, true}, {258 - 27, true}, {259 - 27, false}, {258, false}, {300, false}};
    for (auto& c : cases) {
        std::string folder = "C:\\" + std::string(c.folder_length - 3, 'p');
        char out[MAX_PATH];
        memset(out, 0xA5, sizeof out);
        bool made = make_tray_log_path(folder.c_str(), TRAY_LOG_NAME, out);
        EXPECT_EQ(made, c.made) << c.folder_length;
        if (made) {
            EXPECT_EQ(std::string(out), folder + TRAY_LOG_NAME);
        }
    }
}

TEST(TrayLogPath, ProgramFilesIsWhereWineKeepsIt)
{
    char buffer[MAX_PATH];
    memset(buffer, 0xA5, sizeof buffer);
    ASSERT_TRUE(get_program_files_dir(buffer));
    EXPECT_STRCASEEQ(buffer, "C:\\Program Files");
}

std::string numbered_message(int writer, int line)
{
    char message[64];
    snprintf(message, sizeof message, "writer %d line %04d %s", writer, line,
             std::string(line % 40, '.').c_str());
    return message;
}

// Writers on several threads, while an outside reader holds the file ten
// times for 20 ms and denies writes: every line arrives, whole.
TEST_F(TrayLog, ConcurrentLinesAllArriveWholeDespiteAReaderHoldingTheFile)
{
    const int kThreads = 4, kHolds = 10;
    volatile bool reading = true;
    std::thread reader([&] {
        for (int holds = 0; holds < kHolds;) {
            HANDLE h = CreateFileA(kLog.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                ++holds;
                Sleep(20);
                CloseHandle(h);
            }
            Sleep(20);
        }
        reading = false;
    });
    std::vector<int> written(kThreads, 0);
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t, &written, &reading] {
            for (int i = 0; i < 5000 && (reading || i < 50); ++i) {
                write_tray_log(numbered_message(t, i).c_str());
                written[t] = i + 1;
            }
        });
    for (auto& w : writers)
        w.join();
    reader.join();

    std::set<std::string> seen;
    for (const std::string& line : split_crlf(ts::read_file(kLog))) {
        ASSERT_GE(line.size(), 22u) << line;
        EXPECT_NE(parse_stamp(line.substr(0, 19)), -1) << line;
        EXPECT_EQ(line.substr(19, 3), " : ") << line;
        EXPECT_TRUE(seen.insert(line.substr(22)).second) << "twice: " << line;
    }
    size_t total = 0;
    for (int t = 0; t < kThreads; ++t) {
        total += written[t];
        for (int i = 0; i < written[t]; ++i)
            EXPECT_EQ(seen.count(numbered_message(t, i)), 1u) << numbered_message(t, i);
    }
    EXPECT_EQ(seen.size(), total);
}

} // namespace
