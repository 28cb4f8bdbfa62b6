#pragma once
#include <windows.h>

// Size of the buffer "upgradestate" is read into; at most 31 bytes are read.
const DWORD UPGRADE_STATE_CAPACITY = 32;

// Watches the upgrade key for ever and acts on every change of it; ends the
// process with 1 when the key cannot be had or watching it is refused.
void watch_upgrade_state();
// The watcher's pause before it opens the key afresh, which also spaces its
// looks at whether the key still exists when the parent cannot be watched
// (1000 ms).
extern DWORD reopen_pause_ms;
// Its log lines when it gives up: the key cannot be had, watching is refused.
#define LOG_UPGRADE_KEY_FAILED "RegCreateKeyEx failed"
#define LOG_NOTIFY_ACCESS_DENIED "RegNotifyChangeKeyValue failed with ERROR_ACCESS_DENIED"
// Reads "upgradestate" (any type, at most 31 bytes) into a zeroed 32-byte
// buffer; false when the key or value cannot be read.
bool read_upgrade_state(char* buffer);

enum upgrade_action {
    UPGRADE_ACTION_NONE,
    UPGRADE_ACTION_BALLOON_OVER,      // "0", "1"
    UPGRADE_ACTION_BALLOON_RESTART,   // "2", "3"
    UPGRADE_ACTION_STRATEGY_AUTO,     // "5"
    UPGRADE_ACTION_STRATEGY_CLOSE,    // "6"
};
// What a state text asks for; only the whole, exact text counts.
upgrade_action upgrade_action_for(const char* state);

// What the watcher does next.
enum watch_step {
    WATCH_READ_STATE,     // a change: read the value and act
    WATCH_KEEP_WAITING,   // nothing yet, the key is still there
    WATCH_GIVE_UP,        // refused: log, end the process with 1
    WATCH_REOPEN,         // any other failure: pause, open the key afresh
};
// After arming the change notification returned `notify_result`.
watch_step watch_step_after(LONG notify_result);
// After waiting for the armed notification: the wait's result (WAIT_OBJECT_0
// + 1: the names under the key's parent changed) and, when it timed out or
// the parent changed, what a query of the watched key returned.
watch_step watch_step_after_wait(DWORD wait_result, LONG key_query_result);
