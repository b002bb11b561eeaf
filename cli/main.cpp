// harnoquistel: one executable, one subcommand per tool (query, record, ptz, demo, sim).
#include "Command.h"
#include "VersionOption.h"

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
    // The manual page and the shell completion are generated from this help text.
    app.footer("Environment:\n"
               "  HARNOQUISTEL_PASSWORD        camera password when neither --password nor --password-file is given\n"
               "  HARNOQUISTEL_LIBRARY         path of the library to load instead of the one installed beside the "
               "command\n"
               "  HARNOQUISTEL_RTSP_TRANSPORT  udp, tcp or auto (default): how RTP travels; --transport sets it\n"
               "  HARNOQUISTEL_TRACE           1: the library traces each exchange with the camera (debug level 4)\n"
               "\n"
               "Exit status:\n"
               "  0 success, 1 the device or the query failed (the reason is on standard error), 2 usage error\n"
               "\n"
               "Examples:\n"
               "  harnoquistel demo --out /tmp\n"
               "  harnoquistel discover\n"
               "  harnoquistel query 192.0.2.10 --save camera.json\n"
               "  harnoquistel record 192.0.2.10 --device camera.json --out clip.mp4");
    int versionStatus = 0;
    hqcli::AddVersionOption(app, versionStatus);
    std::vector<std::pair<CLI::App*, std::function<int()>>> runners;
    for (auto& command : hqcli::Commands()) {
        CLI::App* sub = app.add_subcommand(command.name, command.description);
        runners.emplace_back(sub, command.setup(*sub));
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help is a ParseError too, with status 0; every real one is a usage error.
        return app.exit(e) == 0 ? versionStatus : 2;
    }
    for (auto& [sub, run] : runners)
        if (sub->parsed())
            return run();
    return 1;
}
