#include "upgrade_prompt.h"

INT_PTR show_upgrade_prompt(HWND)
{
    return 0;
}
