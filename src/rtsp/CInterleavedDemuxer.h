#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velkora {

// Splits the byte stream of an RTSP connection that carries interleaved media into
// binary frames ('$', channel, 16-bit big-endian length, packet) and RTSP messages
// (header block plus Content-Length bytes of body). Bytes are fed as they arrive in
// pieces of any size; at most one incomplete unit is held, so memory stays bounded.
class CInterleavedDemuxer
{
public:
    class Sink
    {
    public:
        virtual ~Sink() = default;
        // One complete binary frame; `data` is valid for the call only. Empty frames
        // are not reported.
        virtual void OnInterleavedFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size) = 0;
        // One complete RTSP message (a response, or a request from the server).
        virtual void OnRtspMessage(std::string_view message) = 0;
    };

    // A header block longer than this cannot be an RTSP message: the stream is lost.
    static constexpr std::size_t kMaxHeaderSize = 64 * 1024;
    // Larger bodies are not kept; the stream is lost.
    static constexpr std::size_t kMaxMessageSize = 256 * 1024;
    static constexpr std::size_t kFrameHeaderSize = 4;

    explicit CInterleavedDemuxer(Sink& sink) : sink_(sink) {}

    // Consumes `size` bytes and reports every unit they complete. False once the stream
    // cannot be followed any more (a message without end within the bounds); nothing
    // is reported after that until Reset.
    bool Feed(const std::uint8_t* data, std::size_t size);
    void Reset();

    bool Lost() const { return lost_; }
    // Bytes of an incomplete unit held back (0 between units).
    std::size_t Pending() const { return buffer_.size() - start_; }
    // Bytes skipped because they began neither a frame nor a message.
    std::uint64_t SkippedBytes() const { return skipped_; }

private:
    // Reports the unit at the front if it is complete; false when more bytes are needed.
    bool TakeUnit();
    bool TakeFrame();
    bool TakeMessage();
    void Consume(std::size_t bytes);
    void Compact();

    Sink& sink_;
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;    // first byte not yet consumed
    std::size_t scanned_ = 0;  // bytes of an incomplete message searched for its end
    bool lost_ = false;
    std::uint64_t skipped_ = 0;
};

}  // namespace velkora
