#include "AnnexBWriter.h"

#include <sys/uio.h>
#include <unistd.h>

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
    if (fd >= 0)
        close(fd);
}

bool AnnexBWriter::Write(const EncodedFrame& frame, std::string* error)
{
    size_t body = frame.size;
    bool moved = false;
    if (body >= sizeof Trailer && std::memcmp(frame.data + body - sizeof Trailer, Trailer, sizeof Trailer) == 0) {
        body -= sizeof Trailer;
        moved = true;
    }
    // One write per frame, straight to the file: a killed recorder leaves every whole frame.
    const iovec parts[2] = {{const_cast<uint8_t*>(Trailer), moved ? sizeof Trailer : 0},
                            {const_cast<uint8_t*>(frame.data), body}};
    const size_t total = parts[0].iov_len + parts[1].iov_len;
    for (size_t done = 0; done < total;) {
        iovec rest[2];
        int count = 0;
        size_t skip = done;
        for (const iovec& part : parts) {
            if (skip >= part.iov_len) {
                skip -= part.iov_len;
                continue;
            }
            rest[count++] = {static_cast<uint8_t*>(part.iov_base) + skip, part.iov_len - skip};
            skip = 0;
        }
        const ssize_t written = writev(fd, rest, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            *error = std::strerror(written < 0 ? errno : EIO);
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

bool AnnexBWriter::Finish(int64_t, std::string* error)
{
    const int closing = fd;
    fd = -1;
    if (closing >= 0 && close(closing) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace hqcli
