// harnoquistel: one executable, one subcommand per tool (query, record, ptz, demo, sim).
#include "Command.h"

#include <cstdio>
#include <memory>

namespace hqcli {

std::vector<Command>& Commands()
{
    static std::vector<Command> commands;
    return commands;
}

bool RegisterCommand(Command command)
{
    Commands().push_back(std::move(command));
    return true;
}

}  // namespace hqcli

int main(int argc, char** argv)
{
    CLI::App app{"Harnoquistel: IP camera capture driver tools"};
    app.require_subcommand(1);
    std::vector<std::pair<CLI::App*, std::function<int()>>> runners;
    for (auto& command : hqcli::Commands()) {
        CLI::App* sub = app.add_subcommand(command.name, command.description);
        runners.emplace_back(sub, command.setup(*sub));
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help is a ParseError too, with status 0; every real one is a usage error.
        return app.exit(e) == 0 ? 0 : 2;
    }
    for (auto& [sub, run] : runners)
        if (sub->parsed())
            return run();
    return 1;
}
