#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "channels/CCommonRtspChannel.h"
#include "media/CH264RTPMediaParser.h"

namespace velkora {

// The channel the driver makes for H.264: ONVIF-configured RTSP with the H.264
// depacketizer, fed by the RTP packets and by the parameter sets of each DESCRIBE.
class CH264ChannelRTSP : public CCommonRtspChannel
{
public:
    CH264ChannelRTSP(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink);
    ~CH264ChannelRTSP() override;

    bool OnDescribe(const MediaDescription& media) override;

    std::string GetEncodingName() override { return "H264"; }
    std::string ChooseCodecProfile(const std::vector<std::string>& names) override;
    std::string GetChannelConfiguration() override;

    // Baseline, Main, Extended, High in that order of preference; empty when none is offered.
    static std::string PreferredH264Profile(const std::vector<std::string>& names);

protected:
    void ProcessRTPPacket(const CRTPPacket& packet) override;
    void KeepAlive() override;

    CH264RTPMediaParser parser;

private:
    // Parameter sets of the last DESCRIBE, handed to the parser on the packet thread so
    // that only one thread ever touches it.
    CRecursiveLock pendingLock;
    std::atomic<bool> pendingSets{false};
    std::vector<uint8_t> pendingSps;
    std::vector<uint8_t> pendingPps;
    std::vector<uint8_t> pendingConfig;
};

}  // namespace velkora
