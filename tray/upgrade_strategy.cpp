#include "upgrade_strategy.h"

#include <windows.h>

#include "contract.h"
#include "failure_log.h"
#include "handles.h"

int g_bAutoUpgrade = 0;
int g_bCloseUpgrade = 0;

static const DWORD STRATEGY_BUFFER_SIZE = 256;

static const char PRODUCT_KEY_NAME[] = "HKLM\\" PRODUCT_KEY;
static const char STRATEGY_VALUE_NAME[] = "HKLM\\" PRODUCT_KEY "\\" UPGRADE_STRATEGY_VALUE;

bool write_upgrade_strategy(int strategy, strategy_write_failure* failure)
{
    unique_hkey key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, 0, KEY_ALL_ACCESS, key.put());
    if (rc != ERROR_SUCCESS) {
        if (failure)
            *failure = {"RegOpenKeyExA", PRODUCT_KEY_NAME, rc};
        return false;
    }
    const char* text = strategy == STRATEGY_CLOSE ? STRATEGY_CLOSE_TEXT : STRATEGY_AUTO_TEXT;
    // The digit and its NUL.
    rc = RegSetValueExA(key.get(), UPGRADE_STRATEGY_VALUE, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text), 2);
    if (rc != ERROR_SUCCESS) {
        if (failure)
            *failure = {"RegSetValueExA", STRATEGY_VALUE_NAME, rc};
        return false;
    }
    return true;
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

strategy_marks strategy_marks_written(int strategy)
{
    return strategy == STRATEGY_CLOSE ? MARKS_CLOSE : MARKS_AUTO;
}

void apply_strategy_marks(strategy_marks marks)
{
    if (marks == MARKS_UNCHANGED)
        return;
    g_bAutoUpgrade = marks == MARKS_AUTO ? 1 : 0;
    g_bCloseUpgrade = marks == MARKS_CLOSE ? 1 : 0;
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
    apply_strategy_marks(strategy_marks_from(rc == ERROR_SUCCESS, text));
}

void choose_upgrade_strategy(int strategy)
{
    strategy_write_failure failure = {};
    if (write_upgrade_strategy(strategy, &failure))
        apply_strategy_marks(strategy_marks_written(strategy));
    else
        log_tray_failure(failure.call, failure.object, static_cast<unsigned long>(failure.error));
}
