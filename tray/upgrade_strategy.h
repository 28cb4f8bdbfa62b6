#pragma once

// The upgrade strategy: its stored value "UpgradeStrategy" and the menu's
// two check marks, which only this module's functions set.

// The strategies: automatic upgrade, upgrades closed.
const int STRATEGY_AUTO = 2;
const int STRATEGY_CLOSE = 3;

// Menu check marks of the upgrade strategy (window thread only).
extern int g_bAutoUpgrade;
extern int g_bCloseUpgrade;

// A failed registry call: its name, what it was made on, its result.
struct strategy_write_failure {
    const char* call;
    const char* object;
    long error;
};
// Writes "UpgradeStrategy": "3" for STRATEGY_CLOSE, "2" for anything else. True
// when written; otherwise, when `failure` is given, what failed. Safe on any
// thread (touches no flag).
bool write_upgrade_strategy(int strategy, strategy_write_failure* failure = nullptr);
// Sets the two flags from the stored value.
void read_upgrade_strategy();
// The menu's choice (window thread): writes the strategy and sets the flags
// when it was written; a failed write is logged.
void choose_upgrade_strategy(int strategy);

// What the check marks show.
enum strategy_marks {
    MARKS_AUTO,       // "automatic upgrade" checked
    MARKS_CLOSE,      // "close upgrade" checked
    MARKS_UNCHANGED,  // the flags keep their values
};
// value_read: the query succeeded and `text` holds the value. An unreadable
// value means automatic upgrade; otherwise a "2" anywhere wins over a "3".
strategy_marks strategy_marks_from(bool value_read, const char* text);
// The marks of a strategy just written: "close upgrade" for STRATEGY_CLOSE,
// else automatic.
strategy_marks strategy_marks_written(int strategy);
// Sets the two flags as the marks say (window thread only).
void apply_strategy_marks(strategy_marks marks);
