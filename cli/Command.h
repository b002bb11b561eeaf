#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace hqcli {

// A subcommand of `harnoquistel`: Setup declares its options on `app` and
// returns the function that runs it (its result is the exit status).
struct Command {
    std::string name;
    std::string description;
    std::function<std::function<int()>(CLI::App& app)> setup;
};

// Subcommands register themselves from their own source file:
//   static const bool registered = hqcli::RegisterCommand({"sim", "...", SetupSim});
bool RegisterCommand(Command command);
std::vector<Command>& Commands();

}  // namespace hqcli
