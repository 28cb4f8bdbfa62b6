#pragma once
// How tests steer the doubles of outside tools and read what they were asked.
// All keys are under HKEY_LOCAL_MACHINE.

#define DOUBLES_KEY "Software\\GuestToolsTest"

// devcon.exe: "state" REG_SZ enabled (when missing) | disabled | absent;
// "fail_disable" / "fail_enable" / "fail_status" REG_DWORD: how many of the
// next calls of that verb exit 1; "hang" REG_SZ: the verb that never ends.
#define DEVCON_CONTROL_KEY "Software\\GuestToolsTest\\devcon"
#define DEVCON_STATE_VALUE "state"
#define DEVCON_HANG_VALUE "hang"
#define DEVCON_FAIL_PREFIX "fail_"
#define DEVCON_STATE_ENABLED "enabled"
#define DEVCON_STATE_DISABLED "disabled"
#define DEVCON_STATE_ABSENT "absent"

// sc.exe: "agent" REG_SZ running (when missing) | stopped | absent.
#define SC_CONTROL_KEY "Software\\GuestToolsTest\\sc"
#define SC_AGENT_VALUE "agent"
#define SC_AGENT_RUNNING "running"
#define SC_AGENT_STOPPED "stopped"
#define SC_AGENT_ABSENT "absent"

// Every call appends one line "<arguments>" to its tool's file.
#define DOUBLES_CALLS_FOLDER "C:\\gt_test"
#define DEVCON_CALLS_LOG "C:\\gt_test\\devcon_calls.log"
#define SC_CALLS_LOG "C:\\gt_test\\sc_calls.log"
#define PLANTED_CMD_CALLS_LOG "C:\\gt_test\\planted_cmd_calls.log"

// The swapping shell: its calls, the link it re-points and where to, and the
// file whose presence through the link shows the swap done.
#define SWAPPING_SHELL_CALLS_LOG "C:\\gt_test\\swapping_shell_calls.log"
#define SWAP_LINK_ENV "GT_SWAP_LINK"
#define SWAP_TARGET_ENV "GT_SWAP_TARGET"
#define SWAP_MARKER_NAME "swapped.txt"
