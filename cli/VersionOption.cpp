#include "VersionOption.h"

#include "DeviceOptions.h"
#include "Library.h"

#include <filesystem>
#include <iostream>
#include <string_view>

namespace hqcli {

namespace {

int PrintVersion()
{
    std::cout << "harnoquistel " HQ_VERSION "\n";
    std::string error;
    const std::unique_ptr<Library> library = Library::Load(&error);
    if (!library) {
        std::cerr << error << "\n";
        return ExitFailure;
    }
    // The SONAME link leads to the versioned file; a copy under another name has no version to tell.
    std::error_code failed;
    std::filesystem::path file = std::filesystem::canonical(library->Path(), failed);
    if (failed)
        file = library->Path();
    static constexpr std::string_view kStem = "libharnoquistel.so.";
    const std::string name = file.filename().string();
    const std::string version = name.starts_with(kStem) ? name.substr(kStem.size()) : "";
    std::cout << "libharnoquistel " << (version.empty() ? "(version unknown)" : version) << " " << file.string()
              << "\n";
    return 0;
}

}  // namespace

void AddVersionOption(CLI::App& app, int& status)
{
    // Flag callbacks run before the required subcommand is checked; Success ends the parse.
    app.add_flag_callback(
        "--version",
        [&status] {
            status = PrintVersion();
            throw CLI::Success();
        },
        "print the command's version and the version and path of the library it loads");
}

}  // namespace hqcli
