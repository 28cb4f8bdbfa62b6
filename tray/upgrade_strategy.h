#pragma once

// Menu check marks of the upgrade strategy (window thread only).
extern int g_bAutoUpgrade;
extern int g_bCloseUpgrade;

// Writes "UpgradeStrategy": "3" for strategy 3, "2" for anything else.
// 0 when written, 1 otherwise. Safe on any thread (touches no flag).
int write_upgrade_strategy(int strategy);
// Sets the two flags from the stored value.
void read_upgrade_strategy();

// What a read of "UpgradeStrategy" means for the check marks.
enum strategy_marks {
    MARKS_AUTO,       // "automatic upgrade" checked
    MARKS_CLOSE,      // "close upgrade" checked
    MARKS_UNCHANGED,  // the flags keep their values
};
// value_read: the query succeeded and `text` holds the value. An unreadable
// value means automatic upgrade; otherwise a "2" anywhere wins over a "3".
strategy_marks strategy_marks_from(bool value_read, const char* text);
