#pragma once
// The Windows Update engine double and the tests share this key
// (HKEY_LOCAL_MACHINE). The tests set "Answer" (what the double stores in the
// caller's integer) and "DelayMs"; the double counts "Loads" and "Calls".
#define WU_DOUBLE_KEY "Software\\GuestToolsTests\\WuEngineDouble"
#define WU_DOUBLE_ANSWER "Answer"
#define WU_DOUBLE_DELAY_MS "DelayMs"
#define WU_DOUBLE_LOADS "Loads"
#define WU_DOUBLE_CALLS "Calls"
#define WU_DOUBLE_FILE "wuaueng_double.dll"
// The i686 tree's engine of the cdecl convention, used instead when the
// test runs with GT_WU_ENGINE_CONVENTION=cdecl.
#define WU_DOUBLE_CDECL_FILE "wuaueng_double_cdecl.dll"
#define WU_DOUBLE_CONVENTION_ENV "GT_WU_ENGINE_CONVENTION"
