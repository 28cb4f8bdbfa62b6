// Soak of the real qor-tel.exe on the Wine desktop: "upgradestate" writes
// alternating "5" and "6", batches of messages posted to the tray window
// with the hibernation ones among them, and the idle publisher under user
// input. Counts every action and compares the program's handle count and
// private bytes after a warm-up with the end.
//   tray_soak.exe [--writes N] [--batches B] [--messages M] [--idle-seconds S]
//   (default 40, 2, 1000 and 8: the short run)
#include "contract.h"
#include "desktop.h"
#include "footprint.h"
#include "handles.h"
#include "tray_run.h"
#include "test_support.h"
#include "tray_driver.h"
#include "tray_seams.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const int SHORT_WRITES = 40;
const int SHORT_BATCHES = 2;
const int SHORT_MESSAGES = 1000;
const int SHORT_IDLE_SECONDS = 8;
const DWORD IDLE_LOOK_MS = 1000;              // the tray's look, shortened
const DWORD INPUT_EVERY_MS = 4 * IDLE_LOOK_MS;
const DWORD INPUT_SLACK_MS = 1500;            // Wine sees X input within a second
const DWORD STRATEGY_TIMEOUT_MS = 3000;
const DWORD DRAIN_TIMEOUT_MS = 60000;
const DWORD CATCH_UP_TIMEOUT_MS = 300000;
const double GROWTH_LIMIT = 1.01;
const std::string ASKED_LINE = std::string(" : ") + LOG_HIBERNATE_ASKED + "\r\n";
const std::string CANCELLED_LINE = std::string(" : ") + LOG_HIBERNATE_CANCELLED + "\r\n";

// What is posted, in turn: 1037 every other message, between them the
// cancellation line and messages the window lets pass (a mouse move and a
// button release on the icon, a balloon time-out while shown, an unknown
// command, a key other than Escape, a resume notification, WM_NULL).
struct posted {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};
const posted OTHERS[] = {
    {WM_TRAYICON, 0, WM_MOUSEMOVE},   {WM_HIBERNATE_CANCELLED, 0, 0},
    {WM_TRAYICON, 0, WM_RBUTTONUP},   {WM_TRAYICON, 0, NIN_BALLOONTIMEOUT},
    {WM_COMMAND, 1, 0},               {WM_KEYDOWN, 'A', 0},
    {WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0}, {WM_NULL, 0, 0},
};
const size_t OTHER_COUNT = sizeof OTHERS / sizeof OTHERS[0];

posted message_at(long long n)
{
    if (n % 2 == 0)
        return {WM_HIBERNATE_ASKED, 0, 0};
    return OTHERS[(n / 2) % OTHER_COUNT];
}

size_t count_in(const std::string& text, const std::string& needle)
{
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

bool strategy_is(const char* text)
{
    std::string bytes;
    return ts::reg_get(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE, &bytes) &&
           bytes == std::string(text, 2);
}

struct counts {
    int writes = 0, unheard = 0;
    long long posted = 0, asked = 0, cancelled = 0, refused = 0, failed = 0;
    size_t asked_logged = 0, cancelled_logged = 0;
    int inputs = 0, published = 0, unpublished = 0, unbidden = 0;
    DWORD slowest_publish_ms = 0;
};

class TraySoak : public ::testing::Test {
protected:
    void SetUp() override
    {
        tray_run::stop_trays();
        tray_run::dismiss_balloons();
        td::install_engine_double(0);
        ts::reg_delete_tree(HKEY_LOCAL_MACHINE, UPGRADE_KEY);
        // The first "5" must change the strategy to be seen.
        ts::reg_set_sz(HKEY_LOCAL_MACHINE, PRODUCT_KEY, UPGRADE_STRATEGY_VALUE,
                       STRATEGY_CLOSE_TEXT);
        logs::clear_tray_log();
        process_ = tray_run::start_tray({TEST_IDLE_PERIOD_ENV "=" + std::to_string(IDLE_LOOK_MS)},
                                     &window_);
        ASSERT_TRUE(process_ && window_);
        ASSERT_TRUE(ts::wait_until(
            [] { return !ts::read_file(logs::tray_log_path()).empty(); }, 10000));
        ASSERT_TRUE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, 0, KEY_NOTIFY,
                                  product_.put()) == ERROR_SUCCESS);
        changed_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        logs::clear_tray_log();
    }
    void TearDown() override { td::end_tray_test(process_); }

    // One "upgradestate" write, done when the tray has written the strategy
    // it asks for. A write the tray did not act on is counted and made again
    // after a text that does nothing: Wine reports no change for a value
    // written again with the same data.
    bool write_state(const char* state, const char* strategy)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (attempt > 0) {
                ts::reg_set_sz(HKEY_LOCAL_MACHINE, UPGRADE_KEY, UPGRADE_STATE_VALUE, "4");
                Sleep(200);
            }
            RegNotifyChangeKeyValue(product_.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                    changed_.get(), TRUE);
            if (!ts::reg_set_sz(HKEY_LOCAL_MACHINE, UPGRADE_KEY, UPGRADE_STATE_VALUE, state))
                return false;
            DWORD began = GetTickCount();
            while (!strategy_is(strategy) && GetTickCount() - began < STRATEGY_TIMEOUT_MS) {
                WaitForSingleObject(changed_.get(), 100);
                RegNotifyChangeKeyValue(product_.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET,
                                        changed_.get(), TRUE);
            }
            if (strategy_is(strategy)) {
                ++done_.writes;
                return true;
            }
            ++done_.unheard;
        }
        return false;
    }

    void write_states(int writes)
    {
        for (int i = 0; i < writes; ++i) {
            bool auto_upgrade = i % 2 == 0;
            if (!write_state(auto_upgrade ? "5" : "6",
                             auto_upgrade ? STRATEGY_AUTO_TEXT : STRATEGY_CLOSE_TEXT))
                break;
        }
    }

    // Waits until the log holds a line for every hibernation message posted.
    bool drained(DWORD timeout_ms = DRAIN_TIMEOUT_MS)
    {
        return ts::wait_until(
            [&] {
                std::string text = ts::read_file(logs::tray_log_path());
                done_.asked_logged = count_in(text, ASKED_LINE);
                done_.cancelled_logged = count_in(text, CANCELLED_LINE);
                return done_.asked_logged >= size_t(done_.asked) &&
                       done_.cancelled_logged >= size_t(done_.cancelled);
            },
            timeout_ms);
    }

    // A full queue refuses a post (ERROR_NOT_ENOUGH_QUOTA): counted, and the
    // message is posted again once the queue has drained.
    bool post(const posted& m)
    {
        for (;;) {
            if (PostMessageA(window_, m.message, m.wparam, m.lparam)) {
                ++done_.posted;
                done_.asked += m.message == WM_HIBERNATE_ASKED;
                done_.cancelled += m.message == WM_HIBERNATE_CANCELLED;
                return true;
            }
            DWORD error = GetLastError();
            if (error != ERROR_NOT_ENOUGH_QUOTA) {
                ADD_FAILURE() << "PostMessage failed with " << error;
                ++done_.failed;
                return false;
            }
            ++done_.refused;
            if (!drained())
                return false;
        }
    }

    // Every message of the batch handled, one log line per hibernation
    // message and nothing else, the window still answering.
    void post_batch(int messages)
    {
        for (int i = 0; i < messages; ++i) {
            if (!post(message_at(done_.posted)))
                return;
        }
        EXPECT_TRUE(drained()) << done_.asked_logged << " of " << done_.asked << " lines";
        DWORD_PTR answer = 0;
        EXPECT_TRUE(SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer));
        std::vector<std::string> lines = logs::tray_log_messages();
        EXPECT_EQ(size_t(done_.asked + done_.cancelled), lines.size());
        EXPECT_EQ(size_t(done_.asked), done_.asked_logged);
        EXPECT_EQ(size_t(done_.cancelled), done_.cancelled_logged);
    }

    // Input every few looks: "active" within one look, cleared by the test,
    // and not written again until the next input.
    void idle_with_input(DWORD seconds)
    {
        const std::string active =
            std::string(IDLE_ACTIVE_TEXT) + std::string(IDLE_BLOCK_SIZE - 6, '\0');
        const std::string cleared(IDLE_BLOCK_SIZE, '\0');
        DWORD began = GetTickCount();
        while (GetTickCount() - began < seconds * 1000) {
            DWORD input_at = GetTickCount();
            ++done_.inputs;
            ts::start_unix("xdotool mousemove " + std::to_string(300 + done_.inputs % 2 * 40) +
                           " 400");
            if (ts::wait_until([&] { return tray_run::take_idle_block() == active; },
                               IDLE_LOOK_MS + INPUT_SLACK_MS)) {
                ++done_.published;
                done_.slowest_publish_ms =
                    std::max(done_.slowest_publish_ms, GetTickCount() - input_at);
            } else {
                ++done_.unpublished;
            }
            while (GetTickCount() - input_at < INPUT_EVERY_MS) {
                Sleep(100);
                done_.unbidden += tray_run::take_idle_block() != cleared;
            }
        }
    }

    bool measure(ts::footprint* out)
    {
        DWORD id = 0;
        GetWindowThreadProcessId(window_, &id);
        return ts::measure_footprint(id, TRAY_IMAGE_NAME, out);
    }

    HANDLE process_ = nullptr;
    HWND window_ = nullptr;
    unique_hkey product_;
    unique_handle changed_;
    counts done_;
};

TEST_F(TraySoak, StateWritesPostedMessagesAndIdleInput)
{
    const int writes = ts::option_number("--writes", SHORT_WRITES);
    const int batches = ts::option_number("--batches", SHORT_BATCHES);
    const int messages = ts::option_number("--messages", SHORT_MESSAGES);
    const int idle_seconds = ts::option_number("--idle-seconds", SHORT_IDLE_SECONDS);
    ASSERT_GT(writes, 0);

    // Warm-up: a little of each before the first measure.
    write_states(2);
    post_batch(100);
    idle_with_input(1);
    ASSERT_EQ(2, done_.writes);
    ts::footprint start = {}, end = {};
    ASSERT_TRUE(measure(&start));
    counts warm = done_;
    logs::clear_tray_log();
    done_.asked = done_.cancelled = 0;
    DWORD began = GetTickCount();

    write_states(writes);
    DWORD writes_ms = GetTickCount() - began;
    EXPECT_EQ(writes, done_.writes - warm.writes);
    EXPECT_EQ(0, done_.unheard);
    // Each write's icon refresh is posted to the window: one 1037 behind
    // them shows when the window has caught up.
    ASSERT_TRUE(post({WM_HIBERNATE_ASKED, 0, 0}));
    EXPECT_TRUE(drained(CATCH_UP_TIMEOUT_MS));
    DWORD caught_up_ms = GetTickCount() - began - writes_ms;
    EXPECT_EQ(std::vector<std::string>{LOG_HIBERNATE_ASKED}, logs::tray_log_messages())
        << "the writes log nothing";
    logs::clear_tray_log();
    done_.asked = 0;

    DWORD messages_began = GetTickCount();
    for (int batch = 0; batch < batches; ++batch)
        post_batch(messages);
    EXPECT_EQ(0, done_.failed);
    DWORD messages_ms = GetTickCount() - messages_began;

    idle_with_input(idle_seconds);
    EXPECT_EQ(0, done_.unpublished);
    EXPECT_EQ(0, done_.unbidden);
    ASSERT_TRUE(measure(&end));
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(process_, 0)) << "the tray ended";
    EXPECT_LE(end.handles, start.handles * GROWTH_LIMIT);
    EXPECT_LE(end.private_bytes, start.private_bytes * GROWTH_LIMIT);

    printf("soak: %d \"upgradestate\" writes acted on (%d expected), %d not heard and written "
           "again; the window's icon refreshes done %.1f s after the last write\n",
           done_.writes - warm.writes, writes, done_.unheard, caught_up_ms / 1000.0);
    printf("soak: %lld messages posted in %d batches (%lld refused for a full queue and posted "
           "again), %lld of them 1037: %u lines logged, %lld 1038: %u lines\n",
           done_.posted - warm.posted - 1, batches, done_.refused, done_.asked,
           unsigned(done_.asked_logged), done_.cancelled, unsigned(done_.cancelled_logged));
    printf("soak: %d inputs in %d s, %d published (slowest %lu ms, look %lu ms), %d not "
           "published, %d publications without input\n",
           done_.inputs - warm.inputs, idle_seconds, done_.published - warm.published,
           done_.slowest_publish_ms, IDLE_LOOK_MS, done_.unpublished, done_.unbidden);
    printf("soak: %s %lu -> %lu, %s %lu -> %lu\n",
           start.from_unix ? "file descriptors" : "handles", start.handles, end.handles,
           start.from_unix ? "resident anonymous bytes" : "private bytes",
           static_cast<unsigned long>(start.private_bytes),
           static_cast<unsigned long>(end.private_bytes));
    printf("soak: %.1f s for the writes, %.1f s for the messages, %.1f s in all\n",
           writes_ms / 1000.0, messages_ms / 1000.0, (GetTickCount() - began) / 1000.0);
}

} // namespace
