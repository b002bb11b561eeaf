#pragma once
// What needs the codec and container libraries (libavformat, libavcodec,
// libswscale) lives in a module of its own, harnoquistel-codecs.so, loaded on
// first need: a raw recording, a query or a PTZ move starts without them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FrameWriter.h"
#include "Picture.h"

namespace hqcli {

// The module's entry points; the module and the command are built together.
struct CodecModule {
    std::unique_ptr<FrameWriter> (*openContainer)(const std::string& path, std::string* error);
    bool (*writePicture)(const std::vector<uint8_t>& accessUnit, const std::string& path, PictureInfo* info,
                         std::string* error);
};

constexpr char kCodecModuleFile[] = "harnoquistel-codecs.so";

// Loads the module now (once); false with `error` when it cannot be loaded.
bool LoadCodecModule(std::string* error);
// A .mkv or .mp4 file through the module; null with `error` when the file or the
// module cannot be opened.
std::unique_ptr<FrameWriter> OpenContainerWriter(const std::string& path, std::string* error);
// WritePicture (Picture.h) through the module.
bool SavePicture(const std::vector<uint8_t>& accessUnit, const std::string& path, PictureInfo* info,
                 std::string* error);

}  // namespace hqcli

// The module's one export.
extern "C" const hqcli::CodecModule* HarnoquistelCodecModule();
