#pragma once
#include <windows.h>
#include <stddef.h>

// Where the manufacturer comes from. Windows before Vista keeps no BIOS key
// under HARDWARE\DESCRIPTION\System: there the firmware's SMBIOS tables
// decide, through GetSystemFirmwareTable where the system has it (XP x64 and
// Server 2003 SP1 on), else through WMI.
enum platform_source { SOURCE_BIOS_KEY, SOURCE_FIRMWARE_TABLE, SOURCE_WMI };

struct platform_record {
    platform_source source;
    LONG key_error;       // the BIOS key's open
    bool read;            // a manufacturer was read from the source
    DWORD failure;        // when not read: the API's error, an HRESULT, or WAIT_TIMEOUT
    char manufacturer[256];
};

// How long the WMI query may take before the platform counts as unreadable.
extern DWORD wmi_wait_ms;

typedef UINT(WINAPI* firmware_table_fn)(DWORD provider, DWORD table, void* buffer, DWORD size);
// GetSystemFirmwareTable, looked up at run time; nullptr where the system lacks it.
typedef firmware_table_fn (*firmware_table_lookup_fn)();
extern firmware_table_lookup_fn look_up_firmware_table;

// The key when it can be opened (or fails otherwise than absent); when absent,
// the firmware table where the function exists, else WMI.
platform_source choose_platform_source(LONG key_error, bool firmware_table_found);

// True unless the firmware manufacturer begins with exactly "Xen".
bool manufacturer_is_kvm(const char* manufacturer);
bool platform_record_is_kvm(const platform_record& record);

// Reads the record from the chosen source. With ask_wmi false, a record whose
// source is WMI comes back unread: the caller asks WMI later, through
// read_manufacturer_from_wmi, where that cannot block the service manager.
platform_record read_platform_record(bool ask_wmi);
void read_manufacturer_from_wmi(platform_record* record);

// "the SMBIOS tables (GetSystemFirmwareTable)", "WMI Win32_ComputerSystem", "the BIOS key".
const char* platform_source_text(platform_source source);
// One line for the log: what decided where the BIOS key is absent.
void describe_platform_record(const platform_record& record, char* out, size_t capacity);

// True when the BIOS manufacturer can be read and does not begin with "Xen".
bool is_kvm_platform();
