#pragma once

// Calls the update engine's WUCheckForUpdatesAtShutdown at `check` with the
// address of an integer preset to 0, and gives that integer.
extern "C" int call_wu_check(void* check);
