#pragma once
// A still of the camera's view: one access unit with an IDR picture decoded
// with libavcodec and written as JPEG or PNG.

#include <cstdint>
#include <string>
#include <vector>

namespace hqcli {

struct PictureInfo {
    int width = 0;
    int height = 0;
};

// By the extension of `path`: .png lossless, anything else JPEG. False with
// `error` when the unit does not decode or the file cannot be written.
bool WritePicture(const std::vector<uint8_t>& accessUnit, const std::string& path, PictureInfo* info,
                  std::string* error);

}  // namespace hqcli
