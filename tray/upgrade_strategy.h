#pragma once

// Menu check marks of the upgrade strategy (window thread only).
extern int g_bAutoUpgrade;
extern int g_bCloseUpgrade;

// Writes "UpgradeStrategy": "3" for strategy 3, "2" for anything else.
// 0 when written, 1 otherwise. Safe on any thread (touches no flag).
int write_upgrade_strategy(int strategy);
// Sets the two flags from the stored value.
void read_upgrade_strategy();
