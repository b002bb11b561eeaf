#pragma once

#include "foundation/DEVICE_INFO.h"
#include "foundation/IDebugMessage.h"
#include "foundation/CRecursiveLock.h"
#include "http/CHttpSender.h"
#include "onvif/CXmlNamespaces.h"
#include "onvif/OnvifRecords.h"
#include "onvif/OnvifResults.h"
#include "onvif/SoapFault.h"
#include "onvif/SoapRequest.h"
#include "onvif/TSmartPtr.h"

#include <velkora/records.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkora {

class CXmlParser;

// The ONVIF SOAP 1.2 client of one device: every request is wrapped in an
// envelope with a WS-Security UsernameToken (digest, or plain text once the
// device refused the digest), sent through the client's own HTTP sender, and
// the cause of the last failure is kept in a SoapFault. A refused digest is
// first made again on the device's own clock, when that differs from ours.
// Used by one thread at a time; Abort and Reset may come from another.
class COnvifClient
{
public:
    explicit COnvifClient(const DEVICE_INFO& device);
    // Hook at the end of ParseFault, with the XPath of the fault's Detail element.
    virtual void ParseFaultDetail(CXmlParser& parser, const std::string& detailXPath);
    virtual ~COnvifClient();
    COnvifClient(const COnvifClient&) = delete;
    COnvifClient& operator=(const COnvifClient&) = delete;

    // authenticationType "Basic" selects the plain-text password, anything else
    // the digest; customNamespaces is "prefix=URI prefix=URI ...".
    bool Initialize(const std::string& authenticationType, const std::string& customNamespaces);
    void Reset();
    void Abort();

    // Where the note about a device clock that differs from ours goes; none by default.
    void SetMessageSink(IDebugMessage* sink) { messageSink = sink; }
    bool SetServiceAddresses(const ServiceAddresses& addresses);
    const ServiceAddresses& GetServiceAddresses() const { return paths; }
    std::string GetCustomNamespaces() const { return namespaces.GetCustom(); }
    std::string GetAuthenticationType() const { return digest ? "Digest" : "Basic"; }
    SoapFault GetLastFault() const { return lastFault; }
    const CXmlNamespaces& GetNamespaces() const { return namespaces; }

    // True only for an HTTP 200 answer with a body, which goes to `answer`.
    bool Exchange(const SoapRequest& request, std::string& answer);

    // "<name decl...>value</name>" or "<name decl.../>"; `value` is markup and
    // goes in as it is (callers escape texts with XmlEscape).
    std::string MakeElement(const std::string& name, const std::string& value, const std::string& ownPrefix = {},
                            const std::string& extraPrefix1 = {}, const std::string& extraPrefix2 = {}) const;
    std::string BuildSecurityHeader(const SoapRequest& request) const;
    std::string BuildEnvelope(const SoapRequest& request) const;

    static bool CreateUsernameToken(SoapRequest& request, const std::string& password, bool plain);
    static bool CreateUsernameToken(SoapRequest& request, const std::string& password, bool plain,
                                    const SYSTEMTIME& now);
    static std::string CreateNonce(const SYSTEMTIME& now);

    void ParseFault(const std::string& answer);

    // Device service.
    bool GetCapabilities(DeviceCapabilities& capabilities);
    bool GetDeviceInformation(DeviceInformation& information);
    // Media service.
    bool GetProfiles(std::vector<Onvif::MediaProfile>& profiles);
    bool GetVideoSourceConfigurations(std::vector<Onvif::VideoSourceConfiguration>& configurations);
    bool GetVideoEncoderConfigurations(std::vector<Onvif::VideoEncoderConfiguration>& configurations);
    bool GetVideoEncoderConfiguration(const std::string& configurationToken,
                                      Onvif::VideoEncoderConfiguration& configuration);
    bool GetVideoEncoderConfigurationOptions(const std::string& configurationToken, EncoderOptions& options);
    bool SetVideoEncoderConfiguration(const Onvif::VideoEncoderConfiguration& configuration);
    bool GetCompatibleVideoEncoderConfigurations(const std::string& profileToken,
                                                 std::vector<Onvif::VideoEncoderConfiguration>& configurations);
    bool CreateProfile(const std::string& profileName, std::string& profileToken);
    bool AddVideoSourceConfiguration(const std::string& profileToken, const std::string& configurationToken);
    bool AddVideoEncoderConfiguration(const std::string& profileToken, const std::string& configurationToken);
    bool RemoveVideoSourceConfiguration(const std::string& profileToken);
    bool RemoveVideoEncoderConfiguration(const std::string& profileToken);
    bool DeleteProfile(const std::string& profileToken);
    bool GetStreamUri(const StreamUriRequest& request, MediaUri& uri);

    // Readers of the answers above (after the exchange; also what the fuzzer drives).
    bool ReadCapabilities(const std::string& answer, DeviceCapabilities& capabilities);
    bool ReadDeviceInformation(const std::string& answer, DeviceInformation& information);
    bool ReadProfiles(const std::string& answer, std::vector<Onvif::MediaProfile>& profiles);
    bool ReadVideoSourceConfigurations(const std::string& answer,
                                       std::vector<Onvif::VideoSourceConfiguration>& configurations);
    bool ReadVideoEncoderConfigurations(const std::string& answer,
                                        std::vector<Onvif::VideoEncoderConfiguration>& configurations);
    bool ReadVideoEncoderConfiguration(const std::string& answer, Onvif::VideoEncoderConfiguration& configuration);
    bool ReadEncoderOptions(const std::string& answer, const std::string& configurationToken, EncoderOptions& options);
    bool ReadCompatibleVideoEncoderConfigurations(const std::string& answer,
                                                  std::vector<Onvif::VideoEncoderConfiguration>& configurations);
    bool ReadCreatedProfileToken(const std::string& answer, std::string& profileToken);
    bool ReadStreamUri(const std::string& answer, MediaUri& uri);

    // "http://host:port/path" -> "/path"; a text without "://" is a path already.
    static std::string XAddrToPath(const std::string& xaddr);

private:
    template <typename Record>
    bool ReadList(const std::string& answer, const std::string& base, std::vector<Record>& records);
    bool MediaExchange(const std::string& body);

    struct PostResult {
        bool answered = false;  // an HTTP answer arrived
        uint32_t status = 0;
        uint32_t transportError = 0;
        bool basicWithheld = false;  // a 401 offered only Basic, which SOAP never answers
        std::string body;
    };
    PostResult Post(const SoapRequest& request, const std::string& envelope);
    // The device's clock minus ours in seconds, from its unauthenticated
    // GetSystemDateAndTime; nullopt when it gave no usable time.
    std::optional<int64_t> MeasureClockOffset();
    void AnnounceClockOffset(int64_t offset);
    std::string ClockKey() const { return device.host + ":" + std::to_string(device.port); }
    bool LoadAnswer(CXmlParser& parser, const std::string& answer);

    std::atomic<bool> digest{true};
    CRecursiveLock lock;
    TSmartPtr<Web::CHttpSender> sender;
    SoapFault lastFault;
    DEVICE_INFO device;
    ServiceAddresses paths;
    CXmlNamespaces namespaces;
    IDebugMessage* messageSink = nullptr;
};

}  // namespace velkora
