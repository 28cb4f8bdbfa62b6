#pragma once
// Everything the two programs exchange with each other and with outside
// parties: registry keys and values, services, kernel objects, window
// messages, command lines and files. Named once, used everywhere.

// ---- Registry: product keys (HKEY_LOCAL_MACHINE) ----
#define PRODUCT_KEY "SYSTEM\\Setup\\zrv-ondrix"
#define UPGRADE_STRATEGY_VALUE "UpgradeStrategy"
#define STRATEGY_AUTO_TEXT "2"
#define STRATEGY_CLOSE_TEXT "3"
#define UPGRADE_KEY "SYSTEM\\Setup\\zrv-ondrix\\upgrade"
#define UPGRADE_STATE_VALUE "upgradestate"
#define AUTO_REPAIR_KEY "SYSTEM\\Setup\\zrv-ondrix\\auto-repair"
#define WRITEFILE_ERRORCODE_VALUE "writefile_errorcode"

// ---- Registry: platform and system (HKEY_LOCAL_MACHINE unless said) ----
#define BIOS_KEY "HARDWARE\\DESCRIPTION\\System\\BIOS\\"
#define MANUFACTURER_VALUE "SystemManufacturer"
#define RUN_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
#define TRAY_RUN_VALUE "qor-tel"
#define SERVICES_KEY "SYSTEM\\CurrentControlSet\\Services"
#define SERVICE_DESCRIPTION_VALUE "Description"
#define UPDATE_COUNT_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\UAS"
#define UPDATE_COUNT_VALUE "UpdateCount"
// HKEY_CURRENT_USER
#define AUTOPLAY_HANDLERS_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers"
#define DISABLE_AUTOPLAY_VALUE "DisableAutoplay"
#define EXPLORER_POLICIES_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer"
#define NO_DRIVE_TYPE_AUTORUN_VALUE "NoDriveTypeAutoRun"
#define NO_DRIVE_TYPE_AUTORUN_DATA 181

// ---- Services ----
#define WATCHDOG_SERVICE_NAME "SenDrikHald"
#define WATCHDOG_DISPLAY_NAME "Ondrix Daemon Service"
#define WATCHDOG_DESCRIPTION "Ondrix Daemon Service"
#define AGENT_SERVICE_NAME "sen-drik"
#define SERVICE_COMMAND_FORMAT "\"%s\" -s"   // also the Run value's data

// ---- Program images ----
#define WATCHDOG_IMAGE_NAME "sen-drik-hald.exe"
#define TRAY_IMAGE_NAME "qor-tel.exe"

// ---- Named kernel objects ----
#define IDLE_MAPPING_NAME "Global\\UserIdleFileMappingObject"
#define IDLE_MUTEX_NAME "Global\\UserIdleMutexFlag"
#define IDLE_BLOCK_SIZE 256
#define IDLE_ACTIVE_TEXT "active"
// What every user is granted on the idle mutex, and what trays and the
// service open it with: wait, release, read its security.
#define IDLE_MUTEX_USER_RIGHTS (SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL)
// Held by a starting tray from its window lookup until its window exists;
// one per logon session.
#define TRAY_START_MUTEX_NAME "Local\\qor-tel-start"

// ---- The tray window ----
#define TRAY_WINDOW_CLASS "qor-tel"
#define TRAY_WINDOW_TITLE "qor-tel"
#define WM_TRAYICON 1025          // WM_USER + 1: the icon's own callback
#define WM_UPGRADE_NOTIFY 1034    // WM_USER + 10
#define UPGRADE_NOTE_UPGRADING 1035
#define UPGRADE_NOTE_RESTART 1036
#define WM_HIBERNATE_ASKED 1037
#define WM_HIBERNATE_CANCELLED 1038
#define UPGRADE_NOTE_OVER 1039
#define WM_SHOW_UPGRADE_PROMPT 1040
#define ADD_TRAY_MESSAGE "AddTray"
#define HIDE_TRAY_MESSAGE "HideTray"
#define TASKBAR_CREATED_MESSAGE "TaskbarCreated"
#define ID_TRAY_HIDE 32770
#define ID_TRAY_ABOUT 32779
#define ID_UPGRADE_AUTO 32781
#define ID_UPGRADE_CLOSE 32782

// ---- Command lines and files ----
#define DEVCON_PATH_1 "C:\\Program Files\\virtio\\bin\\devcon.exe"
#define DEVCON_PATH_2 "C:\\Program Files (x86)\\virtio\\bin\\devcon.exe"
#define CONSOLE_HARDWARE_ID "pci\\ven_1af4&dev_1003"
#define AGENT_STOP_COMMAND "Cmd.exe /C sc stop sen-drik"
// Device console tool commands: tool path and action word / tool path.
#define DEVCON_ACTION_COMMAND_FORMAT "Cmd.exe /C \"\"%s\" %s \"" CONSOLE_HARDWARE_ID "\"\""
#define DEVCON_STATUS_COMMAND_FORMAT \
    "Cmd.exe /C \"\"%s\" status \"" CONSOLE_HARDWARE_ID "\" | findstr running\""
#define DEVCON_DISABLE_WORD "disable"
#define DEVCON_ENABLE_WORD "enable"
#define UPGRADE_BATCH_PATH "c:\\ondrix_upgrade\\ondrix\\shutdown.bat"
// Loaded from the folder GetSystemDirectoryA reports (C:\Windows\System32 on
// every default installation from XP on; C:\WINNT\system32 on Windows 2000).
#define WU_ENGINE_FILE "wuaueng.dll"
#define WU_SHUTDOWN_EXPORT "WUCheckForUpdatesAtShutdown"

// ---- Log files (relative to a Program Files folder) ----
#define PROGRAM_FILES_FOLDER "C:\\Program Files"
#define PROGRAM_FILES_X86_FOLDER "C:\\Program Files (x86)"   // a 32-bit program on 64-bit Windows
#define DAEMON_LOG_NAME "\\virtio\\monitor\\sen-drik-hald.log"
#define DAEMON_BACKUP_NAME "\\virtio\\monitor\\sen-drik-hald-1.log"
#define TRAY_LOG_NAME "\\virtio\\monitor\\qor_tel.log"
#define MONITOR_FOLDER_NAME "\\virtio\\monitor"
// The system's own Program Files folders (HKEY_LOCAL_MACHINE, 64-bit view).
#define CURRENT_VERSION_KEY "Software\\Microsoft\\Windows\\CurrentVersion"
#define PROGRAM_FILES_DIR_VALUE "ProgramFilesDir"
#define PROGRAM_FILES_X86_DIR_VALUE "ProgramFilesDir (x86)"
#define MARKER_PATCHING "vm_patching"
#define MARKER_CLOSING "vm_closing"
#define LOG_HIBERNATE_ASKED "the user has received the msg to choose whether to hibernate."
#define LOG_HIBERNATE_CANCELLED "the user has cancelled the hibernate request."

// ---- The tray's suspend refusal ----
#define SUSPEND_WARNING_TEXT "Warning!: Do not support the hibernate request"
#define SUSPEND_WARNING_CAPTION "Warning!"

// ---- Watchdog: its service-specific exit codes ----
// dwServiceSpecificExitCode (with ERROR_SERVICE_SPECIFIC_ERROR) when the loop
// gives up, as the service manager and "sc query" show it.
#define WATCHDOG_EXIT_NO_MANAGER 1   // the service control manager could not be opened
#define WATCHDOG_EXIT_NO_CONSOLE 2   // the agent was found stopped too often without console device

// ---- Watchdog: its Event Log source and its recovery by the service manager ----
// The source is named like the service; its messages are the program's own
// message table (watchdog/watchdog_events.mc, ids in watchdog_events.h).
#define EVENT_SOURCE_NAME WATCHDOG_SERVICE_NAME
#define EVENT_SOURCE_KEY "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\SenDrikHald"
#define EVENT_MESSAGE_FILE_VALUE "EventMessageFile"   // REG_EXPAND_SZ, the program's path
#define TYPES_SUPPORTED_VALUE "TypesSupported"        // REG_DWORD
#define EVENT_TYPES_SUPPORTED 7                       // error, warning, information
// The package's public property that sets "UpgradeStrategy" at install.
#define UPGRADE_STRATEGY_PROPERTY "UPGRADESTRATEGY"

// ---- Tray log: the line of a tray that runs ----
#define LOG_TRAY_RUNNING "tray running"
