#include "upgrade_strategy.h"

int g_bAutoUpgrade = 0;
int g_bCloseUpgrade = 0;

int write_upgrade_strategy(int)
{
    return 1;
}

void read_upgrade_strategy() {}
