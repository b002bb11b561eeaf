#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include "DriverFixture.h"

using namespace velkora;

TEST(HostVersion, LevelMappingAcrossVersions)
{
    struct Case {
        ModuleVersion version;
        int32_t notice;  // what level 3 becomes
        int32_t opened;  // what level 100 becomes
    };
    for (const Case& c : {Case{{4, 99, 0, 0}, 2, 2}, Case{{5, 11, 9, 9}, 2, 2}, Case{{5, 12, 0, 0}, 3, 3},
                          Case{{6, 2, 0, 0}, 3, 3}, Case{{6, 3, 0, 0}, 3, 100}, Case{{7, 0, 0, 0}, 3, 100}}) {
        const std::string name = std::to_string(c.version.major) + "." + std::to_string(c.version.minor);
        EXPECT_EQ(MapDebugLevel(1, c.version), 1) << name;
        EXPECT_EQ(MapDebugLevel(2, c.version), 2) << name;
        EXPECT_EQ(MapDebugLevel(3, c.version), c.notice) << name;
        EXPECT_EQ(MapDebugLevel(100, c.version), c.opened) << name;
    }
}

namespace {

// A host core library loaded for the lifetime of the holder.
using LoadedLibrary = std::unique_ptr<void, int (*)(void*)>;
LoadedLibrary Load(const std::string& path)
{
    return LoadedLibrary(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL), dlclose);
}

// The level the opened line of a driver made now arrives with, and the host version it read.
class HostLibrary : public DriverFixture
{
protected:
    int OpenedLineLevel(ModuleVersion* seen)
    {
        DeleteIPCapture(driver);
        driver = CreateIPCapture();
        output.Clear();
        const auto lines = Open() ? output.Find("DRIVER IS OPENED") : std::vector<host::DebugRecord>{};
        *seen = dynamic_cast<CIPCaptureDriver*>(driver)->GetHostVersion();
        return lines.size() == 1 ? lines[0].level : -1;
    }
};

}  // namespace

// The driver finds the host core library among the loaded objects, reads its
// version from the real file name behind a link, and adapts levels to it.
TEST_F(HostLibrary, VersionReadFromTheLoadedObject)
{
    ModuleVersion version;
    ASSERT_FALSE(GetModuleProductVersion("talmori.dll", version));
    {
        LoadedLibrary talmori = Load(TALMORI_LINK);  // libtalmori.so -> libtalmori.so.6.4.0.0
        ASSERT_TRUE(talmori) << dlerror();
        ASSERT_TRUE(GetModuleProductVersion("Talmori.dll", version));
        EXPECT_EQ(std::vector<int>({version.major, version.minor, version.build, version.revision}),
                  std::vector<int>({6, 4, 0, 0}));
        EXPECT_EQ(OpenedLineLevel(&version), 100);
    }

    // An older host: the same object under a 5.11 name (missing numbers are 0).
    const auto dir = std::filesystem::temp_directory_path() / ("talmori-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto old = dir / "libTalmori.so.5.11";
    std::filesystem::copy_file(std::filesystem::canonical(TALMORI_LINK), old,
                               std::filesystem::copy_options::overwrite_existing);
    {
        LoadedLibrary talmori = Load(old.string());
        ASSERT_TRUE(talmori) << dlerror();
        ModuleVersion seen;
        EXPECT_EQ(OpenedLineLevel(&seen), 2);
        EXPECT_EQ(std::vector<int>({seen.major, seen.minor, seen.build}), std::vector<int>({5, 11, 0}));
    }
    std::filesystem::remove_all(dir);
}
