#pragma once

// The agent's record of a console write error ("writefile_errorcode"): the
// codes that ask for a repair of the console channel, read and reset.

// A recorded code that asks for a console repair.
bool is_repair_code(int code);
// The repair code a recorded write-error text names, or 0; where it names
// both, the one listed last in repair_record.cpp.
int classify_errorcode_text(const char* text);
// The repair code the agent recorded, else 0.
int read_writefile_errorcode();
// Resets the recorded error to "0".
void clear_writefile_errorcode();
