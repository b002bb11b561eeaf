// harnoquistel query: what a camera offers, as the host's capability query sees it.
#include "Command.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "DeviceOptions.h"
#include "Interrupt.h"
#include "Library.h"
#include "Query.h"

namespace hqcli {
namespace {

struct QueryArguments {
    DeviceOptions device;
    std::string save;
    bool json = false;
};

int RunQueryCommand(const QueryArguments& args)
{
    Interrupt interrupt;
    QueryRequest request;
    std::string error;
    if (int status = QueryRequestOf(args.device, request, &error); status != 0) {
        std::fprintf(stderr, "harnoquistel query: %s\n", error.c_str());
        return status;
    }
    std::unique_ptr<Library> library = Library::Load(&error);
    if (!library) {
        std::fprintf(stderr, "harnoquistel query: %s\n", error.c_str());
        return ExitFailure;
    }
    const QueryResult result = RunQuery(*library, request, &interrupt);
    if (!result.completed) {
        if (args.json)
            std::printf("%s\n", nlohmann::json({{"kind", result.kind}, {"error", result.error}}).dump().c_str());
        std::fprintf(stderr, "harnoquistel query: %s\n", result.error.c_str());
        return ExitFailure;
    }
    if (!args.save.empty()) {
        // The file holds the password: readable by its owner only.
        const mode_t previous = umask(077);
        const bool saved = host::SaveDeviceFile(args.save, DeviceRecordOf(*result.store, request.ptzPort));
        umask(previous);
        if (!saved) {
            std::fprintf(stderr, "harnoquistel query: cannot write %s\n", args.save.c_str());
            return ExitFailure;
        }
    }
    if (args.json)
        std::printf("%s\n", QueryToJson(*result.store).dump(2).c_str());
    else
        std::printf("%s", QueryToText(*result.store).c_str());
    if (!args.save.empty() && !args.json)
        std::printf("Saved the device file %s\n", args.save.c_str());
    return 0;
}

std::function<int()> SetupQuery(CLI::App& app)
{
    auto args = std::make_shared<QueryArguments>();
    AddDeviceOptions(app, args->device, false);
    app.add_option("--save", args->save, "write the device file that `record` and `ptz` open with (--device)");
    app.add_flag("--json", args->json, "print one JSON object instead of text");
    app.footer("Exit status: 0 done, 1 the query failed (reason on stderr; with --json also "
               "{\"kind\": N, \"error\": \"...\"} on stdout), 2 usage error.\n"
               "The password comes from --password-file, HARNOQUISTEL_PASSWORD or --password.");
    return [args] { return RunQueryCommand(*args); };
}

const bool registered =
    RegisterCommand({"query", "Ask a camera what it offers (the host's capability query)", SetupQuery});

}  // namespace
}  // namespace hqcli
