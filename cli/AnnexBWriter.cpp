#include "AnnexBWriter.h"

#include <cerrno>
#include <cstring>

namespace hqcli {

namespace {

// The driver ends every frame with a bare access unit delimiter. Written in
// front of the frame instead, it opens the unit as a delimiter should, and the
// file does not end in a unit without a picture (which decoders report).
constexpr uint8_t Trailer[] = {0x00, 0x00, 0x00, 0x01, 0x09};

}  // namespace

AnnexBWriter::~AnnexBWriter()
{
    if (file != nullptr)
        std::fclose(file);
}

bool AnnexBWriter::Write(const EncodedFrame& frame, std::string* error)
{
    size_t body = frame.size;
    bool moved = false;
    if (body >= sizeof Trailer && std::memcmp(frame.data + body - sizeof Trailer, Trailer, sizeof Trailer) == 0) {
        body -= sizeof Trailer;
        moved = true;
    }
    if ((moved && std::fwrite(Trailer, 1, sizeof Trailer, file) != sizeof Trailer) ||
        std::fwrite(frame.data, 1, body, file) != body) {
        *error = std::strerror(errno);
        return false;
    }
    // Whole frames reach the file as they come: a killed recorder leaves them all.
    if (std::fflush(file) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

bool AnnexBWriter::Finish(int64_t, std::string* error)
{
    std::FILE* closing = file;
    file = nullptr;
    if (closing != nullptr && std::fclose(closing) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace hqcli
