#include "channels/CH264ChannelRTSP.h"

#include <algorithm>

#include "foundation/MethodName.h"

namespace velkora {

namespace {
constexpr char kClassName[] = "CH264ChannelRTSP";
}  // namespace

CH264ChannelRTSP::CH264ChannelRTSP(uint32_t channelIndex, IDriver* driver, ipcapture::IHostChannelSink* sink)
    : CCommonRtspChannel(channelIndex, driver, sink), parser(driver)
{
    parser.SetClient(this);
}

CH264ChannelRTSP::~CH264ChannelRTSP()
{
    // The capture thread and the packet path use the parser: end them before it goes.
    Stop();
    StopStream();
}

bool CH264ChannelRTSP::OnDescribe(const MediaDescription& media)
{
    SetPayloadType(media.video.payloadType);
    CAutoLock guard(pendingLock);
    pendingSps = media.sps;
    pendingPps = media.pps;
    pendingConfig = media.config;
    pendingSets.store(true);
    return true;
}

std::string CH264ChannelRTSP::PreferredH264Profile(const std::vector<std::string>& names)
{
    auto offered = [&](const char* name) { return std::find(names.begin(), names.end(), name) != names.end(); };
    for (const char* name : {"Baseline", "Main", "Extended", "High"})
        if (offered(name))
            return name;
    return {};
}

std::string CH264ChannelRTSP::ChooseCodecProfile(const std::vector<std::string>& names)
{
    return PreferredH264Profile(names);
}

std::string CH264ChannelRTSP::GetChannelConfiguration()
{
    return driver->GetParameterString(ParamVideoSourceConfiguration);
}

void CH264ChannelRTSP::ProcessRTPPacket(const CRTPPacket& packet)
{
    if (pendingSets.exchange(false)) {
        std::vector<uint8_t> sps, pps, config;
        {
            CAutoLock guard(pendingLock);
            sps.swap(pendingSps);
            pps.swap(pendingPps);
            config.swap(pendingConfig);
        }
        parser.SetParameterSets(sps, pps, config);
    }
    parser.ProcessPacket(packet);
}

void CH264ChannelRTSP::KeepAlive()
{
    const std::string token = GetProfileToken();
    StreamUriRequest request;
    request.profileToken = token;
    if (IsStopping() || token.empty())
        return;
    if (!onvif.Initialize(driver->GetParameterString(ParamOnvifAuthentication),
                          driver->GetParameterString(ParamCustomOnvifNamespaces)))
        return;
    MediaUri answer;
    if (!onvif.GetStreamUri(request, answer))
        DebugMessage(DebugWarning, "%s: Unable to receive media stream URI for profile \"%s\" from device %s%s",
                     MethodName(kClassName, "KeepAlive").c_str(), token.c_str(), driver->GetName().c_str(),
                     LastError().c_str());
    onvif.Reset();
}

}  // namespace velkora
