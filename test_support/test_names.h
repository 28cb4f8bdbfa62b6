#pragma once
// Names the tests share with their doubles; none of them is the programs'.

// The agent service double: its image, and the event that makes it crash.
#define AGENT_DOUBLE_IMAGE "agent_double.exe"
#define AGENT_DOUBLE_CRASH_EVENT "gt_agent_double_crash"

// Where tests put the Windows Update engine double (the prefix's system folder).
#define WU_ENGINE_PATH "C:\\Windows\\System32\\wuaueng.dll"
