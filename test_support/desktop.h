#pragma once
// The Unix side of the Wine test bed: paths, shell commands and screenshots
// of the X display the Wine desktop runs on.
#include <string>

namespace ts {

// Prefix of a shell command that runs a Wine program under the Chinese
// locale: Wine takes the locale from the Unix environment it starts in.
const char* const CHINESE_LOCALE = "LC_ALL=zh_CN.UTF-8";
// The 64-bit loader: Debian's /usr/bin/wine runs the 32-bit one once wine32
// is installed, and that cannot start the 64-bit test programs.

// Unix path of a Windows path ("" when Wine cannot tell).
std::string unix_path(const std::string& dos_path);

// Starts "/bin/sh -c shell_command" (no double quotes inside). Wine gives no
// waitable handle for Unix programs: callers wait for what the command makes.
bool start_unix(const std::string& shell_command);

// Moves `folder` aside (to folder + "-kept") and puts a host symbolic link to
// `target` in its place, as a user's junction would stand: Wine shows the
// link as a reparse point. False when a step failed; put_back_folder undoes it.
bool plant_folder_link(const std::string& folder, const std::string& target);
void put_back_folder(const std::string& folder);

// The Unix path of the Wine loader for programs of this test program's
// architecture: the test bed names both (GT_WINE64, GT_WINE32), since
// Debian's "wine" starts the 32-bit loader once that is installed.
std::string wine_loader();

// Starts a Windows program of this test program's architecture with a
// command tail under the Chinese locale.
bool start_chinese(const std::string& exe, const std::string& tail);

// PNG of the whole X display as <build>/tests/artifacts/<name>.png.
bool screenshot(const char* name);

} // namespace ts
