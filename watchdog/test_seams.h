#pragma once

// Test builds only: shortens the watchdog's periods from the test registry
// key, captures its events in a file and makes up what Wine cannot give
// (owners, a system without IsWow64Process), as the environment asks.
void apply_test_seams();
