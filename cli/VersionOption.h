#pragma once

#include <CLI/CLI.hpp>

namespace hqcli {

// --version: the command's version, then the version of the library it loads,
// read from the real file name of that library (libharnoquistel.so.X.Y.Z).
// Sets `status` to the exit status: 1 when no library loads.
void AddVersionOption(CLI::App& app, int& status);

}  // namespace hqcli
