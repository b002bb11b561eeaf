#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "DriverFixture.h"

using namespace velkora;

TEST(HostVersion, LevelMappingAcrossVersions)
{
    struct Case
    {
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

// Opens a driver and returns the level its opened line arrived with.
int OpenedLineLevel(ModuleVersion* seen)
{
    ipcapture::IIPCaptureDriver* driver = CreateIPCapture();
    host::DebugOutput output;
    host::FrameFactory frames;
    host::DeviceSettings settings(host::DeviceRecord{"10.0.0.5", 80, "", "", "ABC-1", 1, 3, 0, 0, {"0"}});
    int level = -1;
    if (driver->Open(&output, &frames, &settings)) {
        const auto lines = output.Find("DRIVER IS OPENED");
        if (lines.size() == 1)
            level = lines[0].level;
    }
    *seen = dynamic_cast<CIPCaptureDriver*>(driver)->GetHostVersion();
    DeleteIPCapture(driver);
    return level;
}

} // namespace

// The driver finds the host core library among the loaded objects, reads its
// version from the real file name behind a link, and adapts levels to it.
TEST(HostVersion, ReadFromTheLoadedHostLibrary)
{
    ModuleVersion version;
    ASSERT_FALSE(GetModuleProductVersion("talmori.dll", version));
    {
        LoadedLibrary talmori = Load(TALMORI_LINK); // libtalmori.so -> libtalmori.so.6.4.0.0
        ASSERT_TRUE(talmori) << dlerror();
        ASSERT_TRUE(GetModuleProductVersion("Talmori.dll", version));
        EXPECT_EQ(version.major, 6);
        EXPECT_EQ(version.minor, 4);
        EXPECT_EQ(version.build, 0);
        EXPECT_EQ(version.revision, 0);
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
        EXPECT_EQ(seen.major, 5);
        EXPECT_EQ(seen.minor, 11);
        EXPECT_EQ(seen.build, 0);
    }
    std::filesystem::remove_all(dir);
}

// The shared library exports the entry points and works like the static one.
TEST(HostVersion, SharedLibraryOpensADevice)
{
    // The library's own copy of the C++ runtime allocates its exception pool
    // at load; the leak checker cannot see the library's globals holding it.
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();
#endif
    void* library = dlopen(HARNOQUISTEL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    ASSERT_NE(library, nullptr) << dlerror();
    auto create = reinterpret_cast<ipcapture::IIPCaptureDriver* (*)()>(dlsym(library, "CreateIPCaptureEx"));
    auto destroy = reinterpret_cast<void (*)(ipcapture::IIPCaptureDriver*)>(dlsym(library, "DeleteIPCapture"));
    ASSERT_NE(create, nullptr);
    ASSERT_NE(destroy, nullptr);
    EXPECT_EQ(dlsym(library, "MapDebugLevel"), nullptr);

    ipcapture::IIPCaptureDriver* driver = create();
    host::DebugOutput output;
    host::FrameFactory frames;
    host::DeviceSettings settings(host::DeviceRecord{"10.0.0.5:8000", 80, "", "", "ABC-1", 2, 3, 0, 0, {"1", "2.3"}});
    ASSERT_TRUE(driver->Open(&output, &frames, &settings));
    EXPECT_EQ(driver->GetVideoCapture()->GetChannelCount(), 2u);
    ASSERT_EQ(output.Find("DRIVER IS OPENED").size(), 1u);
    EXPECT_EQ(output.Find("DRIVER IS OPENED")[0].text,
              "DRIVER IS OPENED (name: Harnoquistel, device model: ABC-1, FW: 2.3, address: 10.0.0.5:8000)");
    destroy(driver);
    dlclose(library);
}
