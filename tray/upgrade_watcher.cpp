#include "upgrade_watcher.h"

#include <string.h>

#include "autoplay.h"
#include "contract.h"
#include "handles.h"
#include "registry.h"
#include "tray_log.h"
#include "tray_messages.h"
#include "tray_state.h"
#include "upgrade_strategy.h"

DWORD reopen_pause_ms = 1000;

namespace {

const DWORD WATCH_FILTER = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                           REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

bool open_upgrade_key(unique_hkey& key)
{
    DWORD disposition = 0;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, UPGRADE_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_NOTIFY | KEY_QUERY_VALUE, nullptr, key.put(),
                           &disposition) == ERROR_SUCCESS;
}

// A wait on the names under the upgrade key's parent; armed once and again
// only after it ended, so no requests pile up on the parent.
struct parent_watch {
    unique_hkey key;
    unique_handle changed;
    bool armed = false;
};

void open_parent_watch(parent_watch* parent)
{
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, 0, KEY_NOTIFY, parent->key.put()) !=
        ERROR_SUCCESS)
        parent->key.reset();
    parent->armed = false;
    if (parent->changed)
        ResetEvent(parent->changed.get());
}

bool arm_parent_watch(parent_watch* parent)
{
    if (!parent->armed && parent->key && parent->changed)
        parent->armed = RegNotifyChangeKeyValue(parent->key.get(), FALSE, REG_NOTIFY_CHANGE_NAME,
                                                parent->changed.get(), TRUE) == ERROR_SUCCESS;
    return parent->armed;
}

// Arms the watch of the upgrade key: the next change sets the event. Without
// an event nothing is armed ahead; the wait makes the synchronous call.
LONG arm_watch(HKEY key, HANDLE changed)
{
    if (!changed)
        return ERROR_SUCCESS;
    return RegNotifyChangeKeyValue(key, TRUE, WATCH_FILTER, changed, TRUE);
}

// One wait for the armed watch, and what it calls for.
// A wait need not end when its key is deleted (Wine's never does). The
// deletion changes the names under the parent, which ends the parent's wait;
// the key is then asked whether it still exists (ERROR_KEY_DELETED if not).
// Without a wait on the parent the key is asked once a pause.
watch_step wait_for_change(HKEY key, HANDLE changed, parent_watch* parent)
{
    if (!changed)
        return watch_step_after(RegNotifyChangeKeyValue(key, TRUE, WATCH_FILTER, nullptr, FALSE));
    HANDLE events[2] = {changed, parent->changed.get()};
    bool both = arm_parent_watch(parent);
    DWORD waited = WaitForMultipleObjects(both ? 2 : 1, events, FALSE,
                                          both ? INFINITE : reopen_pause_ms);
    if (waited == WAIT_OBJECT_0 + 1)
        parent->armed = false;
    LONG query = ERROR_SUCCESS;
    if (waited == WAIT_TIMEOUT || waited == WAIT_OBJECT_0 + 1)
        query = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr);
    return watch_step_after_wait(waited, query);
}

// The window thread alone touches the icon record and the menu flags: the
// strategy is written here and the window is told the outcome.
void write_strategy(int strategy)
{
    LPARAM written = write_upgrade_strategy(strategy) ? 1 : 0;
    PostMessageA(g_hTrayWnd, WM_STRATEGY_WRITTEN, strategy, written);
}

void carry_out(upgrade_action action)
{
    switch (action) {
    case UPGRADE_ACTION_BALLOON_OVER:
        PostMessageA(g_hTrayWnd, WM_UPGRADE_NOTIFY, 0, UPGRADE_NOTE_OVER);
        break;
    case UPGRADE_ACTION_BALLOON_RESTART:
        PostMessageA(g_hTrayWnd, WM_UPGRADE_NOTIFY, 0, UPGRADE_NOTE_RESTART);
        break;
    case UPGRADE_ACTION_STRATEGY_AUTO:
        write_strategy(STRATEGY_AUTO);
        break;
    case UPGRADE_ACTION_STRATEGY_CLOSE:
        write_strategy(STRATEGY_CLOSE);
        break;
    case UPGRADE_ACTION_NONE:
        break;
    }
}

} // namespace

upgrade_action upgrade_action_for(const char* state)
{
    static const struct {
        const char* text;
        upgrade_action action;
    } table[] = {
        {"0", UPGRADE_ACTION_BALLOON_OVER},    {"1", UPGRADE_ACTION_BALLOON_OVER},
        {"2", UPGRADE_ACTION_BALLOON_RESTART}, {"3", UPGRADE_ACTION_BALLOON_RESTART},
        {"5", UPGRADE_ACTION_STRATEGY_AUTO},   {"6", UPGRADE_ACTION_STRATEGY_CLOSE},
    };
    for (const auto& row : table) {
        if (strcmp(state, row.text) == 0)
            return row.action;
    }
    return UPGRADE_ACTION_NONE;
}

watch_step watch_step_after(LONG notify_result)
{
    if (notify_result == ERROR_SUCCESS)
        return WATCH_READ_STATE;
    if (notify_result == ERROR_ACCESS_DENIED)
        return WATCH_GIVE_UP;
    return WATCH_REOPEN;
}

watch_step watch_step_after_wait(DWORD wait_result, LONG key_query_result)
{
    if (wait_result == WAIT_OBJECT_0)
        return WATCH_READ_STATE;
    bool asked = wait_result == WAIT_TIMEOUT || wait_result == WAIT_OBJECT_0 + 1;
    if (asked && key_query_result == ERROR_SUCCESS)
        return WATCH_KEEP_WAITING;
    return WATCH_REOPEN;
}

bool read_upgrade_state(char* buffer)
{
    return read_reg_value(HKEY_LOCAL_MACHINE, UPGRADE_KEY, UPGRADE_STATE_VALUE, buffer,
                          UPGRADE_STATE_CAPACITY)
        .found();
}

void watch_upgrade_state()
{
    apply_autoplay_policy(classify_windows_version());
    write_tray_log(LOG_TRAY_RUNNING);

    unique_hkey key;
    if (!open_upgrade_key(key)) {
        write_tray_log(LOG_UPGRADE_KEY_FAILED);
        ExitProcess(1);
    }
    // Without an event the wait is the plain synchronous one.
    unique_handle changed(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    parent_watch parent;
    parent.changed.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    open_parent_watch(&parent);
    // A watch armed with success stays armed until a change ends a wait; a
    // failed arming decides the next step itself.
    LONG armed = arm_watch(key.get(), changed.get());
    for (;;) {
        watch_step step = armed == ERROR_SUCCESS ? wait_for_change(key.get(), changed.get(), &parent)
                                                 : watch_step_after(armed);
        switch (step) {
        case WATCH_READ_STATE: {
            // Armed again before the value is read: a change made while it is
            // read and acted on wakes the next wait instead of going unheard.
            armed = arm_watch(key.get(), changed.get());
            char state[UPGRADE_STATE_CAPACITY] = {0};
            if (read_upgrade_state(state))
                carry_out(upgrade_action_for(state));
            break;
        }
        case WATCH_KEEP_WAITING:   // the key is still there: its watch stays armed
            break;
        case WATCH_GIVE_UP:
            write_tray_log(LOG_NOTIFY_ACCESS_DENIED);
            key.reset();
            ExitProcess(1);
        case WATCH_REOPEN:
            // A deleted key fails every wait on its old handle (1018), also
            // after it was made again: only a fresh handle hears changes.
            // Closing the old handle signals the event: that is no change.
            key.reset();
            if (changed)
                ResetEvent(changed.get());
            do
                Sleep(reopen_pause_ms);
            while (!open_upgrade_key(key));
            open_parent_watch(&parent);
            armed = arm_watch(key.get(), changed.get());
            break;
        }
    }
}
