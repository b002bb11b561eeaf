#pragma once

#include "sim/DeviceModel.h"
#include "sim/Faults.h"
#include "sim/HttpListener.h"
#include "sim/PtzMotion.h"
#include "sim/RequestLog.h"
#include "sim/RtspAuth.h"
#include "sim/Snapshots.h"
#include "sim/StopSignal.h"

#include <libxml/tree.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

struct OnvifSettings {
    std::string user, password;
    bool authFailureAs401 = false;  // refuse a bad token with HTTP 401 instead of 400
    std::string rtspUri;            // answered by GetStreamUri instead of the built-in server
    std::string firmware = "1.0.0";
    std::string model = "Simulated Camera";
    unsigned number = 1;  // tells the cameras of a site apart: serial number and MAC address
};

// What tells the cameras of a site apart: camera 1 is SIM-0001 at 02:00:00:00:00:01.
inline std::string SerialNumber(unsigned number)
{
    char text[24];
    std::snprintf(text, sizeof text, "SIM-%04u", number);
    return text;
}
inline std::string MacAddress(unsigned number)
{
    char text[24];
    std::snprintf(text, sizeof text, "02:00:00:00:%02x:%02x", (number >> 8) & 0xFF, number & 0xFF);
    return text;
}

// One ONVIF request as it arrived, for tests that check what clients send.
struct OnvifRequestRecord {
    std::string path;
    std::string operation;
    std::string authorization;  // the HTTP Authorization header, empty when none
    std::string body;
};

// The device, media and PTZ services: SOAP 1.2 over HTTP POST to
// /onvif/device_service, /onvif/media_service and /onvif/ptz_service (the last
// once heads are given), and the snapshots GetSnapshotUri names.
class OnvifService
{
public:
    struct Answer {
        int status = 200;
        std::string body;
        bool closeMidway = false;
        unsigned trickleMs = 0;  // between the bytes of the body
        bool challenge = false;  // add an HTTP Digest challenge to a 401
    };

    OnvifService(DeviceModel& model, FaultSet& faults, RequestLog& log, const StopSignal& stop, OnvifSettings settings);

    bool Start(const std::string& address, std::uint16_t port, std::string* error);
    void Stop() { http_.Stop(); }
    std::uint16_t Port() const { return http_.Port(); }
    void SetRtspPort(std::uint16_t port) { rtspPort_ = port; }
    // Before Start: the heads the PTZ service drives, and the pictures snapshots send.
    void SetPtzHeads(PtzMotion* heads) { heads_ = heads; }
    void SetSnapshots(std::shared_ptr<const SnapshotLibrary> pictures) { snapshots_ = std::move(pictures); }

    // One request: service path, body and the address the client reached us at.
    Answer Handle(const std::string& path, const std::string& body, const std::string& localAddress,
                  const std::string& authorization = {});
    std::vector<OnvifRequestRecord> Requests() const;
    // The device's scopes (fixed or configurable), as GetScopes and discovery give them.
    std::vector<std::pair<bool, std::string>> Scopes() const;

private:
    std::string DeviceOperation(const std::string& op, const xmlNode* request, const std::string& host,
                                OnvifError& error);
    std::string MediaOperation(const std::string& op, const xmlNode* request, const std::string& host,
                               OnvifError& error);
    // Operations clients use at connect and in live view (OnvifProfileOperations.cpp, OnvifPtzService.cpp).
    std::string MoreDeviceOperation(const std::string& op, const xmlNode* request, const std::string& host,
                                    OnvifError& error);
    std::string MoreMediaOperation(const std::string& op, const xmlNode* request, const std::string& host,
                                   OnvifError& error);
    std::string PtzOperation(const std::string& op, const xmlNode* request, OnvifError& error);
    std::string ServiceCapabilitiesXml(const std::string& ns) const;
    void ServeSnapshots();
    std::time_t DeviceNow() const;  // our clock moved by the clock knob
    std::string ProfileXml(const MediaProfile& p, const char* element) const;
    std::string SourceXml(const VideoSourceConfiguration& s, const std::string& element) const;
    std::string EncoderXml(const VideoEncoderConfiguration& e, const std::string& element) const;
    std::string OptionsXml(const VideoEncoderConfiguration& e) const;

    DeviceModel& model_;
    FaultSet& faults_;
    RequestLog& log_;
    const StopSignal& stop_;
    OnvifSettings settings_;
    RtspAuthenticator httpDigest_;  // its nonce goes with every 401 challenge
    mutable std::mutex requestsMutex_;
    std::vector<OnvifRequestRecord> requests_;
    std::atomic<std::uint16_t> rtspPort_{554};
    PtzMotion* heads_ = nullptr;
    std::shared_ptr<const SnapshotLibrary> snapshots_;
    HttpListener http_;
};

}  // namespace sim
