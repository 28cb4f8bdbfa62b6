// The watchdog's Event Log reporting: the message table as the built program
// carries it, the ids administrators rely on, the fold of repeated reports,
// and what passes of the loop report (through the test build's capture).
#include "agent_fixture.h"
#include "contract.h"
#include "doubles_fixture.h"
#include "event_report.h"
#include "handles.h"
#include "log_records.h"
#include "supervise.h"
#include "test_support.h"
#include "test_seams.h"
#include "watchdog_seams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> lines;

const WORD ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);   // 1033
const WORD CHINESE = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);   // 2052

// The message as stored (inserts left as %N); "" when there is none.
std::wstring stored_text(HMODULE module, DWORD id, WORD language)
{
    wchar_t buffer[2048];
    std::fill(buffer, buffer + 2048, L'\xA5A5');
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module,
                                  id, language, buffer, 2048, nullptr);
    return std::wstring(buffer, length);
}

// The numbers of the %N inserts in a stored message, in order of appearance.
std::vector<int> inserts_of(const std::wstring& text)
{
    std::vector<int> numbers;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == L'%' && iswdigit(text[i + 1]))
            numbers.push_back(static_cast<int>(wcstol(text.c_str() + i + 1, nullptr, 10)));
    }
    return numbers;
}

// Read from the built program, as Event Viewer reads it through
// EventMessageFile: also fails when the table was not linked.
TEST(MessageTable, EveryReportedIdHasBothLanguagesWithItsInserts)
{
    unique_module program(
        LoadLibraryExA(ts::sibling(WATCHDOG_IMAGE_NAME).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program) << GetLastError();
    for (int i = 0; i < WATCHDOG_EVENT_ID_COUNT; ++i) {
        const DWORD id = WATCHDOG_EVENT_IDS[i];
        const int inserts = event_fact_count(id) + 1;   // and the count of reports left out
        SCOPED_TRACE(id & 0xFFFF);
        std::wstring english = stored_text(program.get(), id, ENGLISH);
        std::wstring chinese = stored_text(program.get(), id, CHINESE);
        ASSERT_FALSE(english.empty());
        ASSERT_FALSE(chinese.empty());
        EXPECT_TRUE(std::all_of(english.begin(), english.end(), [](wchar_t c) { return c < 0x80; }));
        EXPECT_TRUE(std::any_of(chinese.begin(), chinese.end(),
                                [](wchar_t c) { return c >= 0x4E00 && c <= 0x9FFF; }));
        for (const std::wstring& text : {english, chinese}) {
            std::vector<int> numbers = inserts_of(text);
            std::sort(numbers.begin(), numbers.end());
            std::vector<int> expected;
            for (int k = 1; k <= inserts; ++k)
                expected.push_back(k);
            EXPECT_EQ(expected, numbers);
        }
    }
    // The last insert says how many reports were left out, in both languages.
    EXPECT_NE(std::wstring::npos,
              stored_text(program.get(), EVENT_AGENT_RESTARTED, ENGLISH).find(L"left out: %1."));
    EXPECT_NE(std::wstring::npos, stored_text(program.get(), EVENT_AGENT_RESTARTED, CHINESE)
                                      .find(L"\x6B64\x524D\x7701\x7565\x7684\x540C\x7C7B\x62A5\x544A\x6570\xFF1A%1"));
}

// Alert rules are written against these: an id keeps its number, its type
// and its inserts once released.
TEST(EventIds, KeepTheirNumbersTypesAndInserts)
{
    const struct {
        DWORD number;
        WORD type;
        int facts;
    } released[] = {
        {1000, EVENTLOG_INFORMATION_TYPE, 1}, {1001, EVENTLOG_WARNING_TYPE, 0},
        {1002, EVENTLOG_ERROR_TYPE, 1},       {1003, EVENTLOG_WARNING_TYPE, 1},
        {1004, EVENTLOG_INFORMATION_TYPE, 0}, {1005, EVENTLOG_ERROR_TYPE, 1},
        {1006, EVENTLOG_ERROR_TYPE, 1},       {1007, EVENTLOG_WARNING_TYPE, 1},
    };
    ASSERT_EQ(int(sizeof released / sizeof released[0]), WATCHDOG_EVENT_ID_COUNT);
    for (int i = 0; i < WATCHDOG_EVENT_ID_COUNT; ++i) {
        EXPECT_EQ(released[i].number, WATCHDOG_EVENT_IDS[i] & 0xFFFF) << i;
        EXPECT_EQ(released[i].type, event_type_of(WATCHDOG_EVENT_IDS[i])) << i;
        EXPECT_EQ(released[i].facts, event_fact_count(WATCHDOG_EVENT_IDS[i])) << i;
    }
    EXPECT_EQ(-1, event_fact_count(0x400003E7));
}

TEST(Fold, OneReportPerPeriodCarryingWhatWasLeftOut)
{
    const DWORD PERIOD = 600000;
    const struct {
        DWORD now;
        bool report;
        DWORD left_out;
    } rows[] = {
        {5000, true, 0},      // the first, whenever it comes
        {15000, false, 0},    {25000, false, 0},   {604999, false, 0},
        {605000, true, 3},    // a period after the last report
        {605001, false, 0},   {1300000, true, 1},  {1300001, false, 0},
        {0xFFFFF000, true, 1}, {0x00001000, false, 0},   // the tick count wrapped
        {0x00092000, true, 1},
    };
    event_fold fold = {};
    for (const auto& row : rows) {
        fold_decision d = fold_event(&fold, row.now, PERIOD);
        EXPECT_EQ(row.report, d.report) << row.now;
        EXPECT_EQ(row.left_out, d.left_out) << row.now;
    }
    event_fold always = {};
    for (DWORD now : {0u, 0u, 1u})
        EXPECT_TRUE(fold_event(&always, now, 0).report);
}

// Passes of the loop in this process against the agent double, as in the
// pass tests; the fold period is set short where a case needs it.
class Reported : public ::testing::Test {
protected:
    void SetUp() override
    {
        shipped_fold_period = event_fold_period_ms;
        ASSERT_TRUE(doubles::fresh_device_doubles());
        doubles::uninstall_sc_double();
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY);
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY);
        ASSERT_TRUE(agent_fixture::install());
        manager.reset(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(manager);
        reset_event_folds();
        logs::clear_captured_events();
        apply_test_seams();   // the events captured in a file
    }
    void TearDown() override
    {
        event_fold_period_ms = shipped_fold_period;
        manager.reset();
        agent_fixture::remove();
        doubles::uninstall_findstr_double();
        doubles::reset_devcon();
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY);
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, TEST_WATCHDOG_KEY);
    }
    bool pass() { return supervise_pass(&counters, manager.get()); }
    void fold_period(DWORD ms) { event_fold_period_ms = ms; }

    unique_sc_handle manager;
    supervise_counters counters = {1, 0, 0};
    DWORD shipped_fold_period = 0;
};

TEST_F(Reported, TwentyRestartsGiveOneEventThenTheCountLeftOut)
{
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(pass());
        ASSERT_TRUE(svc::wait_state(AGENT_SERVICE_NAME, SERVICE_RUNNING, 10000)) << i;
        ASSERT_TRUE(agent_fixture::crash()) << i;
    }
    EXPECT_EQ(lines{"1001 2 0"}, logs::captured_events());
    fold_period(0);   // as when 10 minutes have passed
    ASSERT_TRUE(pass());
    EXPECT_EQ((lines{"1001 2 0", "1001 2 19"}), logs::captured_events());
    // The file log keeps every start.
    lines messages = logs::daemon_log_messages();
    EXPECT_EQ(21, std::count(messages.begin(), messages.end(), "sen-drik start pending...\r\n"));
}

TEST_F(Reported, RepairReportsItsCodeAndTheFailedStepThenItsSuccess)
{
    ASSERT_TRUE(agent_fixture::start());
    fold_period(0);
    ts::reg_set_sz(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, WRITEFILE_ERRORCODE_VALUE, "554");
    doubles::set_devcon_failures("enable", 3);
    ASSERT_TRUE(pass());
    // The device stays disabled: the agent is not started in this pass.
    EXPECT_EQ((lines{"1003 2 554|0", "1005 1 3|0"}), logs::captured_events());

    logs::clear_captured_events();
    doubles::reset_devcon();
    // Running again, so that the repair's stop succeeds under Wine too (its sc
    // exits 1 for a stopped service, where Windows gives 1062).
    ASSERT_TRUE(agent_fixture::start());
    ASSERT_TRUE(pass());
    EXPECT_EQ((lines{"1003 2 554|0", "1004 4 0", "1001 2 0"}), logs::captured_events());
}

} // namespace
