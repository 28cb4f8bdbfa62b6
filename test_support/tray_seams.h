#pragma once
// Environment variables a tray of the test build reads when it starts
// (tray/test_seams.cpp); each holds a number of milliseconds.
#define TEST_IDLE_PERIOD_ENV "GT_IDLE_PERIOD_MS"      // idle publisher's look, 5000 shipped
#define TEST_WATCH_PAUSE_ENV "GT_WATCH_PAUSE_MS"      // watcher's pause, 1000 shipped
#define TEST_TRAY_RETRY_ENV "GT_TRAY_RETRY_MS"        // icon retry spacing, 2000 shipped
#define TEST_SHELL_DELAY_ENV "GT_TRAY_SHELL_DELAY_MS" // the shell refuses the icon this long
