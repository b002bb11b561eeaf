#include "CodecModule.h"

#include <dlfcn.h>

#include <filesystem>

namespace hqcli {

namespace {

struct Loaded {
    const CodecModule* module = nullptr;
    std::string error;
};

// Beside the command (the build tree), else in the command's private library
// directory of the same prefix.
std::vector<std::string> Candidates()
{
    std::error_code failed;
    const std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe", failed).parent_path();
    if (failed)
        return {};
    std::vector<std::string> paths{(dir / kCodecModuleFile).string()};
#ifdef HQ_INSTALLED_CODEC_DIR
    paths.push_back((dir / HQ_INSTALLED_CODEC_DIR / kCodecModuleFile).lexically_normal().string());
#endif
    return paths;
}

Loaded Load()
{
    Loaded loaded;
    std::string reasons;
    for (const std::string& path : Candidates()) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = dlerror();
            reasons += "\n  " + (why != nullptr ? std::string(why) : path);
            continue;
        }
        // Kept loaded to the end: writers it made may live until then.
        auto entry = reinterpret_cast<const CodecModule* (*)()>(dlsym(handle, "HarnoquistelCodecModule"));
        if (entry != nullptr && (loaded.module = entry()) != nullptr)
            return loaded;
        dlclose(handle);
        reasons += "\n  " + path + ": not a codec module of this command";
    }
    loaded.error = std::string("container files and pictures need ") + kCodecModuleFile +
                   ", which could not be loaded:" + (reasons.empty() ? "\n  no place to look" : reasons);
    return loaded;
}

const Loaded& Module()
{
    static const Loaded loaded = Load();
    return loaded;
}

}  // namespace

bool LoadCodecModule(std::string* error)
{
    if (Module().module == nullptr)
        *error = Module().error;
    return Module().module != nullptr;
}

std::unique_ptr<FrameWriter> OpenContainerWriter(const std::string& path, std::string* error)
{
    const Loaded& loaded = Module();
    if (loaded.module == nullptr) {
        *error = loaded.error;
        return nullptr;
    }
    return loaded.module->openContainer(path, error);
}

bool SavePicture(const std::vector<uint8_t>& accessUnit, const std::string& path, PictureInfo* info, std::string* error)
{
    const Loaded& loaded = Module();
    if (loaded.module == nullptr) {
        *error = loaded.error;
        return false;
    }
    return loaded.module->writePicture(accessUnit, path, info, error);
}

}  // namespace hqcli
