#pragma once
// What the test builds of the watchdog and of the setup actions read to
// shorten periods or make up what Wine cannot give.

#define TEST_WATCHDOG_KEY "Software\\GuestToolsTest\\watchdog"   // HKEY_LOCAL_MACHINE
#define TEST_PERIOD_VALUE "period_ms"                            // REG_DWORD pass period
#define TEST_EVENT_FOLD_VALUE "event_fold_ms"                     // REG_DWORD event fold period
#define TEST_NO_WOW64_LOOKUP_ENV "GT_NO_WOW64_LOOKUP"             // 1: as if IsWow64Process were missing
// Every event the watchdog reports is also appended here, one line each.
#define TEST_EVENT_CAPTURE_FILE "C:\\gt_test\\watchdog_events.txt"
// Owners made up for the Program Files guard (Wine keeps none): "system",
// "administrators", "trustedinstaller" or "user".
#define TEST_DEVCON_OWNER_ENV "GT_DEVCON_OWNER"
#define TEST_MONITOR_OWNER_ENV "GT_MONITOR_OWNER"
// The owner, as a SID string, the setup action reads of an existing
// watchdog log.
#define TEST_LOG_OWNER_ENV "GT_SEAM_LOG_OWNER"
