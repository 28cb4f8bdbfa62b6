#include "repair_record.h"

#include "contract.h"
#include "daemon_log.h"
#include "handles.h"
#include "registry.h"

#include <windows.h>
#include <strsafe.h>

#include <string.h>

namespace {

// Not strstr: the programs import only what the compatibility allow list
// holds, and strstr is not on it.
bool contains(const char* text, const char* word)
{
    size_t length = strlen(word);
    for (; *text; ++text) {
        if (strncmp(text, word, length) == 0)
            return true;
    }
    return false;
}

// The write errors the agent records that a repair cures, the one that wins
// when a text names both last.
const int REPAIR_CODES[] = {995, 554};

} // namespace

bool is_repair_code(int code)
{
    for (int known : REPAIR_CODES) {
        if (code == known)
            return true;
    }
    return false;
}

int classify_errorcode_text(const char* text)
{
    int result = 0;
    for (int code : REPAIR_CODES) {
        char word[16] = {};
        StringCchPrintfA(word, sizeof word, "%d", code);
        if (contains(text, word))
            result = code;
    }
    return result;
}

int read_writefile_errorcode()
{
    char text[256];
    reg_value_read r = read_reg_value(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY,
                                      WRITEFILE_ERRORCODE_VALUE, text, sizeof text);
    if (!r.found())
        return 0;
    return classify_errorcode_text(text);
}

void clear_writefile_errorcode()
{
    static const char ZERO[] = "0";
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, 0, KEY_WRITE, key.put()) !=
            ERROR_SUCCESS &&
        RegCreateKeyA(HKEY_LOCAL_MACHINE, AUTO_REPAIR_KEY, key.put()) != ERROR_SUCCESS) {
        write_daemon_log("failed to RegCreateKey");
        return;
    }
    // The byte count leaves the terminator out.
    if (RegSetValueExA(key.get(), WRITEFILE_ERRORCODE_VALUE, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(ZERO), sizeof ZERO - 1) != ERROR_SUCCESS)
        write_daemon_log("failed to RegSetValueEx");
}
