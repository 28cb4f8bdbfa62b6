// Session end, power and hibernate handling of the real tray program,
// driven from outside through its window.
#include "session_checks.h"
#include "tray_run.h"
#include "tray_driver.h"

#include <gtest/gtest.h>

namespace {

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

TEST_F(TraySession, Markers)
{
    expect_session_end_markers(tray_);
    EXPECT_TRUE(IsWindow(tray_)) << "the tray goes on after every query";
}

TEST_F(TraySession, SuspendRefused)
{
    expect_suspend_refused(tray_, "suspend-warning");
    expect_other_power_events_default(tray_);
}

TEST_F(TraySession, HibernateLines)
{
    expect_hibernate_lines(tray_);
}

} // namespace
