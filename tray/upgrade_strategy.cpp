#include "upgrade_strategy.h"

#include <windows.h>

#include "contract.h"
#include "handles.h"

int g_bAutoUpgrade = 0;
int g_bCloseUpgrade = 0;

static const DWORD STRATEGY_BUFFER_SIZE = 256;

int write_upgrade_strategy(int strategy)
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return 1;
    const char* text = strategy == 3 ? STRATEGY_CLOSE_TEXT : STRATEGY_AUTO_TEXT;
    // The digit and its NUL.
    LONG rc = RegSetValueExA(key.get(), UPGRADE_STRATEGY_VALUE, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text), 2);
    return rc == ERROR_SUCCESS ? 0 : 1;
}

// A digit is never the trail byte of a double-byte character in the East
// Asian code pages (trail bytes start at 0x40), so a byte scan finds it
// exactly where a multibyte search would.
static bool contains_digit(const char* text, char digit)
{
    for (; *text; ++text) {
        if (*text == digit)
            return true;
    }
    return false;
}

strategy_marks strategy_marks_from(bool value_read, const char* text)
{
    if (!value_read)
        return MARKS_AUTO;
    if (contains_digit(text, STRATEGY_AUTO_TEXT[0]))
        return MARKS_AUTO;
    if (contains_digit(text, STRATEGY_CLOSE_TEXT[0]))
        return MARKS_CLOSE;
    return MARKS_UNCHANGED;
}

void read_upgrade_strategy()
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    char text[STRATEGY_BUFFER_SIZE] = {};
    DWORD size = STRATEGY_BUFFER_SIZE - 1;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key.get(), UPGRADE_STRATEGY_VALUE, nullptr, &type,
                               reinterpret_cast<BYTE*>(text), &size);
    switch (strategy_marks_from(rc == ERROR_SUCCESS, text)) {
    case MARKS_AUTO:
        g_bAutoUpgrade = 1;
        g_bCloseUpgrade = 0;
        break;
    case MARKS_CLOSE:
        g_bAutoUpgrade = 0;
        g_bCloseUpgrade = 1;
        break;
    case MARKS_UNCHANGED:
        break;
    }
}
