#pragma once

// Test build only: sets the tray's tunables from the environment a test
// started it with, before anything else runs.
void apply_test_seams();
