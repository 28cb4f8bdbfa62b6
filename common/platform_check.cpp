#include "platform_check.h"

#include "contract.h"
#include "registry.h"
#include "smbios.h"
#include "wmi_manufacturer.h"

#include <memory>
#include <new>
#include <string.h>
#include <strsafe.h>

namespace {

// The provider signature 'RSMB' as the DWORD GetSystemFirmwareTable takes.
const DWORD RSMB = 0x52534D42;

firmware_table_fn kernel32_firmware_table()
{
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    return kernel32 ? reinterpret_cast<firmware_table_fn>(
                          reinterpret_cast<void*>(GetProcAddress(kernel32, "GetSystemFirmwareTable")))
                    : nullptr;
}

void read_from_firmware_table(firmware_table_fn get_table, platform_record* record)
{
    // The size asked first; the tables could grow in between, so twice.
    for (int attempt = 0; attempt < 2; ++attempt) {
        UINT size = get_table(RSMB, 0, nullptr, 0);
        if (size == 0) {
            record->failure = GetLastError();
            return;
        }
        std::unique_ptr<unsigned char[]> raw(new (std::nothrow) unsigned char[size]);
        if (!raw) {
            record->failure = ERROR_NOT_ENOUGH_MEMORY;
            return;
        }
        UINT got = get_table(RSMB, 0, raw.get(), size);
        if (got == 0) {
            record->failure = GetLastError();
            return;
        }
        if (got <= size) {
            record->read = smbios_system_manufacturer(raw.get(), got, record->manufacturer,
                                                      sizeof record->manufacturer);
            record->failure = record->read ? 0 : ERROR_NOT_FOUND;
            return;
        }
    }
    record->failure = ERROR_INSUFFICIENT_BUFFER;
}

} // namespace

const char* platform_source_text(platform_source source)
{
    return source == SOURCE_FIRMWARE_TABLE ? "the SMBIOS tables (GetSystemFirmwareTable)"
           : source == SOURCE_WMI          ? "WMI Win32_ComputerSystem"
                                           : "the BIOS key";
}

DWORD wmi_wait_ms = 90000;
firmware_table_lookup_fn look_up_firmware_table = kernel32_firmware_table;

platform_source choose_platform_source(LONG key_error, bool firmware_table_found)
{
    if (key_error != ERROR_FILE_NOT_FOUND)
        return SOURCE_BIOS_KEY;
    return firmware_table_found ? SOURCE_FIRMWARE_TABLE : SOURCE_WMI;
}

bool manufacturer_is_kvm(const char* manufacturer)
{
    return strncmp(manufacturer, "Xen", 3) != 0;
}

bool platform_record_is_kvm(const platform_record& record)
{
    return record.read && manufacturer_is_kvm(record.manufacturer);
}

platform_record read_platform_record(bool ask_wmi)
{
    platform_record record = {};
    reg_value_read r = read_reg_value(HKEY_LOCAL_MACHINE, BIOS_KEY, MANUFACTURER_VALUE,
                                      record.manufacturer, sizeof record.manufacturer);
    record.key_error = r.open_error;
    firmware_table_fn get_table = r.key_absent() ? look_up_firmware_table() : nullptr;
    record.source = choose_platform_source(r.open_error, get_table != nullptr);
    switch (record.source) {
    case SOURCE_BIOS_KEY:
        record.read = r.found();
        record.failure = r.key_opened() ? static_cast<DWORD>(r.query_error) : r.open_error;
        break;
    case SOURCE_FIRMWARE_TABLE:
        read_from_firmware_table(get_table, &record);
        break;
    case SOURCE_WMI:
        record.manufacturer[0] = '\0';
        if (ask_wmi)
            read_manufacturer_from_wmi(&record);
        break;
    }
    if (!record.read)
        record.manufacturer[0] = '\0';
    return record;
}

void read_manufacturer_from_wmi(platform_record* record)
{
    wmi_answer answer = query_wmi_manufacturer(wmi_wait_ms);
    record->read = answer.read;
    record->failure = answer.failure;
    StringCchCopyA(record->manufacturer, sizeof record->manufacturer,
                   answer.read ? answer.manufacturer : "");
}

void describe_platform_record(const platform_record& record, char* out, size_t capacity)
{
    const char* verdict = platform_record_is_kvm(record) ? "kvm" : "not kvm";
    if (record.read) {
        StringCchPrintfA(out, capacity, "no BIOS key; manufacturer \"%s\" from %s: %s",
                         record.manufacturer, platform_source_text(record.source), verdict);
    } else if (record.failure == WAIT_TIMEOUT && record.source == SOURCE_WMI) {
        StringCchPrintfA(out, capacity, "no BIOS key; no manufacturer from %s (no answer within %lu s): %s",
                         platform_source_text(record.source), wmi_wait_ms / 1000, verdict);
    } else {
        StringCchPrintfA(out, capacity, "no BIOS key; no manufacturer from %s (error 0x%lX): %s",
                         platform_source_text(record.source), record.failure, verdict);
    }
}

bool is_kvm_platform()
{
    return platform_record_is_kvm(read_platform_record(true));
}
