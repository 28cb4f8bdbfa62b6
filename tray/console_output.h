#pragma once

// A GUI program starts without a console: keeps standard output when it is
// redirected, otherwise attaches it to the parent's console when there is one.
void use_parent_console();
