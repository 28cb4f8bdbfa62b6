// Session end and hibernate decisions, and the patching tests against the
// marker file, the update engine double and the registry. The window path is
// covered against the real tray program.
#include "contract.h"
#include "session_end.h"
#include "test_support.h"
#include "tray_driver.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int g_calls[3];
bool g_answers[3];
int test_0() { ++g_calls[0]; return g_answers[0]; }
int test_1() { ++g_calls[1]; return g_answers[1]; }
int test_2() { ++g_calls[2]; return g_answers[2]; }

TEST(SessionEndDecision, FirstTrueTestStopsTheOthers)
{
    const LPARAM logoff = static_cast<LPARAM>(ENDSESSION_LOGOFF);
    const patching_test tests[] = {test_0, test_1, test_2};
    struct {
        LPARAM lParam;
        bool answers[3];
        const char* marker;
        int calls[3];
    } rows[] = {
        {0, {false, false, false}, MARKER_CLOSING, {1, 1, 1}},
        {0, {true, true, true}, MARKER_PATCHING, {1, 0, 0}},
        {0, {false, true, true}, MARKER_PATCHING, {1, 1, 0}},
        {0, {false, false, true}, MARKER_PATCHING, {1, 1, 1}},
        {logoff, {true, true, true}, nullptr, {0, 0, 0}},
        {logoff, {false, false, false}, nullptr, {0, 0, 0}},
        {logoff | ENDSESSION_CRITICAL, {false, false, false}, MARKER_CLOSING, {1, 1, 1}},
        {logoff | ENDSESSION_CLOSEAPP, {false, true, false}, MARKER_PATCHING, {1, 1, 0}},
        {ENDSESSION_CRITICAL, {true, false, false}, MARKER_PATCHING, {1, 0, 0}},
        {ENDSESSION_CLOSEAPP, {false, false, false}, MARKER_CLOSING, {1, 1, 1}},
    };
    for (const auto& row : rows) {
        for (int i = 0; i < 3; ++i) {
            g_calls[i] = 0;
            g_answers[i] = row.answers[i];
        }
        const char* marker = session_end_marker(row.lParam, tests, 3);
        SCOPED_TRACE(testing::Message() << std::hex << row.lParam << " " << row.answers[0]
                                        << row.answers[1] << row.answers[2]);
        if (row.marker)
            EXPECT_STREQ(row.marker, marker);
        else
            EXPECT_EQ(nullptr, marker);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(row.calls[i], g_calls[i]) << "test " << i;
    }
}

TEST(SessionEndDecision, HibernateLines)
{
    EXPECT_STREQ(LOG_HIBERNATE_ASKED, hibernate_log_line(WM_HIBERNATE_ASKED));
    EXPECT_STREQ(LOG_HIBERNATE_CANCELLED, hibernate_log_line(WM_HIBERNATE_CANCELLED));
    EXPECT_EQ(nullptr, hibernate_log_line(WM_SHOW_UPGRADE_PROMPT));
    EXPECT_EQ(nullptr, hibernate_log_line(WM_QUERYENDSESSION));
}

class SessionEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        logs::clear_tray_log();
    }
    void TearDown() override
    {
        td::stage_upgrade_batch("none");
        td::set_update_count(nullptr);
        td::restore_engine();
    }
};

TEST_F(SessionEnd, PatchingTestsOneByOne)
{
    struct {
        const char* batch;
        DWORD engine;   // the double's answer; 2: no engine
        DWORD count;    // 9: absent
        int staged, installs, pending;
    } rows[] = {
        {"none", 0, 9, 0, 0, 0},
        {"file", 0, 9, 1, 0, 0},
        {"dir", 0, 9, 1, 0, 0},
        {"none", 1, 0, 0, 1, 0},
        {"none", 2, 3, 0, 0, 1},
        {"none", 0, 1, 0, 0, 1},
    };
    for (const auto& row : rows) {
        td::stage_upgrade_batch(row.batch);
        if (row.engine == 2)
            td::remove_engine();
        else
            td::install_engine_double(row.engine);
        td::set_update_count(row.count == 9 ? nullptr : &row.count);
        SCOPED_TRACE(testing::Message() << row.batch << " " << row.engine << " " << row.count);
        EXPECT_EQ(row.staged, upgrade_batch_staged());
        EXPECT_EQ(row.installs, wu_installs_at_shutdown());
        EXPECT_EQ(row.pending, wu_updates_pending());
        EXPECT_EQ(row.engine == 2 ? 0u : 1u, td::engine_double_loads());
    }
}

TEST_F(SessionEnd, UpdateCountOfAnotherSize)
{
    td::remove_engine();
    const BYTE five[5] = {1, 0, 0, 0, 0};
    const BYTE two[2] = {0, 1};
    ts::reg_set_raw(HKEY_LOCAL_MACHINE, UPDATE_COUNT_KEY, UPDATE_COUNT_VALUE, REG_BINARY, five, 5);
    EXPECT_EQ(0, wu_updates_pending()) << "longer than 4 bytes";
    ts::reg_set_raw(HKEY_LOCAL_MACHINE, UPDATE_COUNT_KEY, UPDATE_COUNT_VALUE, REG_BINARY, two, 2);
    EXPECT_EQ(1, wu_updates_pending());
}

TEST_F(SessionEnd, SlowEngineIsWaitedFor)
{
    td::install_engine_double(1, 500);
    DWORD start = GetTickCount();
    on_query_end_session(0);
    EXPECT_GE(GetTickCount() - start, 450u);
    EXPECT_EQ(std::vector<std::string>{MARKER_PATCHING}, logs::tray_log_messages());
}

} // namespace
