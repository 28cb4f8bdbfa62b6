#pragma once
// What the test builds of the watchdog and of the setup actions read to
// shorten periods or make up what Wine cannot give.

#define TEST_WATCHDOG_KEY "Software\\GuestToolsTest\\watchdog"   // HKEY_LOCAL_MACHINE
#define TEST_PERIOD_VALUE "period_ms"                            // REG_DWORD pass period
#define TEST_EVENT_FOLD_VALUE "event_fold_ms"                     // REG_DWORD event fold period
#define TEST_NO_WOW64_LOOKUP_ENV "GT_NO_WOW64_LOOKUP"             // 1: as if IsWow64Process were missing
// Every event the watchdog reports is also appended here, one line each.
#define TEST_EVENT_CAPTURE_FILE "C:\\gt_test\\watchdog_events.txt"
// The owner, as a SID string, the watchdog and the setup action read of a
// log file (test_support/owner_seam.h); with TEST_OWNED_FILE_ENV
// ("<index high>:<index low>") of that file only.
#define TEST_LOG_OWNER_ENV "GT_SEAM_LOG_OWNER"
#define TEST_OWNED_FILE_ENV "GT_SEAM_OWNED_FILE"
