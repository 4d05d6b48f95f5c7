// Opening an address or a file with the program the desktop associates with it
// (xdg-open, started with an argument vector, never through a shell command line).
#pragma once

#include <functional>
#include <string>

// target is GBK; it is converted to UTF-8 for the desktop. Returns whether the opener
// could be started; the caller does not wait for it.
bool ShellOpen(const std::string& target);

// Test seam: when set, ShellOpen hands the target to the handler instead of the desktop.
using ShellOpenHandler = std::function<bool(const std::string& target)>;
void SetShellOpenHandler(ShellOpenHandler handler);
