// A byte stream cut into RTP packets (2-byte length, a flag byte, the payload) for the H.264
// depacketizer with a host frame factory. Flag 0x80 is the marker, 0x40 hands the bytes
// over as SDP parameter sets instead, 0x20 skips a sequence number.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/IDriver.h"
#include "media/CH264RTPMediaParser.h"
#include "media/IMediaParserClient.h"

namespace {

using velkora::ipcapture::IHostFrame;

class Frame : public IHostFrame
{
public:
    explicit Frame(uint32_t size) : data_(size) {}
    uint8_t* GetData() override { return data_.empty() ? nullptr : data_.data(); }
    void SetWidth(uint16_t) override {}
    void SetHeight(uint16_t) override {}
    void SetSizeClass(uint32_t) override {}
    void SetDataSize(uint32_t size) override { dataSize = size; }
    void SetFrameType(uint32_t) override {}
    void GetTime(SYSTEMTIME* time) override { *time = SYSTEMTIME{}; }
    void SetTime(const SYSTEMTIME&) override {}
    uint32_t GetCapacity() override { return static_cast<uint32_t>(data_.size()); }
    uint32_t dataSize = 0;

private:
    std::vector<uint8_t> data_;
};

class Host : public velkora::IDriver, public velkora::ipcapture::IHostFrameFactory, public velkora::IMediaParserClient
{
public:
    // Driver context
    std::string GetName() override { return "fuzz:0"; }
    void DebugMessage(int32_t, const char*, ...) override {}
    std::string GetModuleName() override { return "Harnoquistel"; }
    std::string GetHostDirectory() override { return "/"; }
    const velkora::DEVICE_INFO& GetDeviceInfo() override { return info_; }
    std::pair<uint32_t, uint32_t> GetChannelValues() override { return {0, 0}; }
    velkora::ipcapture::IHostFrameFactory* GetHostContext() override { return this; }
    int32_t GetVideoStandard() override { return 0; }
    uint32_t GetCodecType() override { return 3; }
    uint32_t GetChannelCount() override { return 1; }
    std::string GetParameterString(uint32_t) override { return {}; }
    int32_t GetParameterInt(uint32_t) override { return 0; }
    uint16_t GetPTZPort() override { return 0; }
    // Frame factory
    IHostFrame* CreateFrame(uint32_t, uint32_t size, const char*) override
    {
        ++outstanding;
        return new Frame(size);
    }
    void ReleaseFrame(IHostFrame* frame) override
    {
        --outstanding;
        delete frame;
    }
    // Parser client: every frame is a whole access unit ending in the trailer.
    bool OnFrame(IHostFrame* frame) override
    {
        auto* f = static_cast<Frame*>(frame);
        if (f->dataSize != f->GetCapacity() || f->dataSize < 5 ||
            std::memcmp(f->GetData() + f->dataSize - 5, "\x00\x00\x00\x01\x09", 5) != 0)
            std::abort();
        return true;
    }
    std::pair<uint16_t, uint16_t> GetChannelPair() override { return {0, 0}; }
    const std::string& GetFrameSourceName() override { return sourceName_; }
    void GetFrameTime(uint32_t, SYSTEMTIME& time) override { time = SYSTEMTIME{}; }

    int outstanding = 0;

private:
    velkora::DEVICE_INFO info_;
    const std::string sourceName_ = "Harnoquistel";
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Host host;
    velkora::CH264RTPMediaParser parser(&host);
    parser.SetClient(&host);
    uint16_t sequence = 0;
    size_t offset = 0;
    while (offset + 3 <= size) {
        const size_t length = ((size_t{data[offset]} << 8) | data[offset + 1]) % 4096;
        const uint8_t flags = data[offset + 2];
        offset += 3;
        const size_t n = std::min(length, size - offset);
        if (flags & 0x40) {
            parser.SetParameterSets(std::vector<uint8_t>(data + offset, data + offset + n / 2),
                                    std::vector<uint8_t>(data + offset + n / 2, data + offset + n), {});
        } else {
            std::vector<uint8_t> datagram{0x80,
                                          static_cast<uint8_t>((flags & 0x80) | 96),
                                          static_cast<uint8_t>(sequence >> 8),
                                          static_cast<uint8_t>(sequence),
                                          0,
                                          0,
                                          0,
                                          flags,
                                          1,
                                          2,
                                          3,
                                          4};
            datagram.insert(datagram.end(), data + offset, data + offset + n);
            velkora::CRTPPacket packet;
            if (packet.Parse(datagram.data(), datagram.size()))
                parser.ProcessPacket(packet);
            sequence = static_cast<uint16_t>(sequence + ((flags & 0x20) ? 2 : 1));
        }
        offset += n;
    }
    if (host.outstanding != 0)
        std::abort();
    return 0;
}
