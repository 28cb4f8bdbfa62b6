// Session end, power and hibernate handling of the real tray program,
// driven from outside through its window.
#include "contract.h"
#include "desktop.h"
#include "test_support.h"
#include "tray_driver.h"
#include "tray_run.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

const DWORD NO_ENGINE = 0xFFFFFFFF;

LRESULT default_answer(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND own = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                               nullptr);
    LRESULT answer = DefWindowProcA(own, message, wParam, lParam);
    DestroyWindow(own);
    return answer;
}

// Sends and returns the answer; fails the test when none came in time.
LRESULT send(HWND target, UINT message, WPARAM wParam, LPARAM lParam, UINT timeout_ms = 10000)
{
    DWORD_PTR answer = 0xBADF00D;
    SetLastError(0xDEADBEEF);
    LRESULT sent = SendMessageTimeoutA(target, message, wParam, lParam, SMTO_NORMAL, timeout_ms,
                                       &answer);
    EXPECT_NE(0, sent) << "no answer to " << message << ", error " << GetLastError();
    return static_cast<LRESULT>(answer);
}

class TraySession : public ::testing::Test {
protected:
    void SetUp() override
    {
        tray_ = td::start_tray(false);
        ASSERT_TRUE(tray_ != nullptr) << "tray window";
    }
    void TearDown() override
    {
        tray_run::stop_trays();
        td::restore_engine();
    }
    HWND tray_ = nullptr;
};

// The patching decision in every situation, with the marker it logs.
TEST_F(TraySession, Markers)
{
    const DWORD zero = 0, three = 3;
    const LPARAM logoff = static_cast<LPARAM>(ENDSESSION_LOGOFF);
    struct {
        const char* situation;
        LPARAM lParam;
        const char* batch;
        DWORD engine;          // the double's answer, or NO_ENGINE
        const DWORD* count;    // "UpdateCount", or nullptr: absent
        const char* marker;    // nullptr: no line
        DWORD engine_loads;
    } rows[] = {
        {"shutdown, nothing pending", 0, "none", 0, nullptr, MARKER_CLOSING, 1},
        {"batch staged", 0, "file", 1, &three, MARKER_PATCHING, 0},
        {"directory named like the batch", 0, "dir", 1, nullptr, MARKER_PATCHING, 0},
        {"engine reports installs", 0, "none", 1, nullptr, MARKER_PATCHING, 1},
        {"engine reports a large count", 0, "none", 0x7FFFFFFF, &zero, MARKER_PATCHING, 1},
        {"no engine, no count", 0, "none", NO_ENGINE, nullptr, MARKER_CLOSING, 0},
        {"no engine, count 3", 0, "none", NO_ENGINE, &three, MARKER_PATCHING, 0},
        {"count 0", 0, "none", 0, &zero, MARKER_CLOSING, 1},
        {"count 3", 0, "none", 0, &three, MARKER_PATCHING, 1},
        {"plain logoff", logoff, "file", 1, &three, nullptr, 0},
        {"plain logoff, nothing pending", logoff, "none", 0, nullptr, nullptr, 0},
        {"logoff with critical", logoff | ENDSESSION_CRITICAL, "none", 0, nullptr,
         MARKER_CLOSING, 1},
        {"logoff with critical, count 3", logoff | ENDSESSION_CRITICAL, "none", 0, &three,
         MARKER_PATCHING, 1},
        {"close application", ENDSESSION_CLOSEAPP, "none", 0, nullptr, MARKER_CLOSING, 1},
        {"critical alone, batch staged", ENDSESSION_CRITICAL, "dir", 0, nullptr,
         MARKER_PATCHING, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.situation);
        logs::clear_tray_log();
        td::stage_upgrade_batch(row.batch);
        if (row.engine == NO_ENGINE)
            td::remove_engine();
        else
            td::install_engine_double(row.engine);
        td::set_update_count(row.count);

        EXPECT_EQ(TRUE, send(tray_, WM_QUERYENDSESSION, 0, row.lParam));
        std::vector<std::string> expected;
        if (row.marker)
            expected.push_back(row.marker);
        EXPECT_EQ(expected, logs::tray_log_messages());
        EXPECT_EQ(row.engine_loads, td::engine_double_loads());
        EXPECT_EQ(row.engine_loads, td::engine_double_calls());
    }
    td::stage_upgrade_batch("none");
    td::set_update_count(nullptr);
    td::restore_engine();
    EXPECT_TRUE(IsWindow(tray_)) << "the tray goes on after every query";
}

// A suspend query shows the warning and is refused once it is closed; other
// power events get the default answer and no box.
TEST_F(TraySession, SuspendRefused)
{
    DWORD thread = GetWindowThreadProcessId(tray_, nullptr);
    LRESULT answer = 0;
    volatile bool answered = false;
    std::thread sender([&] {
        answer = send(tray_, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0, 30000);
        answered = true;
    });
    std::vector<HWND> boxes = td::wait_windows(thread, SUSPEND_WARNING_CAPTION, 1);
    if (boxes.size() == 1) {
        HWND box = boxes[0];
        EXPECT_EQ(SUSPEND_WARNING_TEXT, td::control_text(box, 0xFFFF));
        EXPECT_EQ(tray_, GetWindow(box, GW_OWNER));
        EXPECT_TRUE(ts::screenshot("suspend-warning"));
        Sleep(100);
        EXPECT_FALSE(answered) << "answered before the box was closed";
        PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        EXPECT_TRUE(td::wait_gone(box));
    } else {
        ADD_FAILURE() << boxes.size() << " warning boxes";
    }
    EXPECT_TRUE(ts::wait_until([&] { return answered; }, 10000));
    sender.join();
    EXPECT_EQ(BROADCAST_QUERY_DENY, answer);
    EXPECT_TRUE(logs::tray_log_messages().empty());

    const WPARAM events[] = {PBT_APMSUSPEND, PBT_APMRESUMESUSPEND, PBT_APMPOWERSTATUSCHANGE,
                             PBT_APMRESUMEAUTOMATIC, PBT_APMQUERYSUSPENDFAILED};
    for (WPARAM event : events) {
        EXPECT_EQ(default_answer(WM_POWERBROADCAST, event, 0),
                  send(tray_, WM_POWERBROADCAST, event, 0))
            << event;
        EXPECT_TRUE(td::windows_captioned(thread, SUSPEND_WARNING_CAPTION).empty()) << event;
    }
    EXPECT_TRUE(logs::tray_log_messages().empty());
}

// Each hibernate message logs exactly its line, every time.
TEST_F(TraySession, HibernateLines)
{
    std::vector<std::string> expected;
    for (int i = 0; i < 25; ++i) {
        UINT message = (i % 3 == 2) ? WM_HIBERNATE_CANCELLED : WM_HIBERNATE_ASKED;
        EXPECT_EQ(default_answer(message, 0, 0), send(tray_, message, i, i));
        expected.push_back(message == WM_HIBERNATE_ASKED ? LOG_HIBERNATE_ASKED
                                                         : LOG_HIBERNATE_CANCELLED);
    }
    EXPECT_EQ(expected, logs::tray_log_messages());
}

} // namespace
