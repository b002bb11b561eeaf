#pragma once

#include "sim/Faults.h"
#include "sim/HttpListener.h"
#include "sim/PtzMotion.h"
#include "sim/RequestLog.h"
#include "sim/StopSignal.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace sim {

// Speeds the simulated head runs at, in per cent (-100 to 100; 0 is still).
struct PtzHead {
    int pan = 0, tilt = 0, zoom = 0;
    unsigned commands = 0;  // accepted moves and stops, through the CGI or ONVIF
    PtzVector position;
};

// The device's PTZ CGI: GET /cgi-bin/run?ptz.cgi%20<word>%20<value> with HTTP
// Basic authentication; "address" selects the head (1 = first channel) that
// later "pan", "tilt" and "zoom" commands drive.  The heads may be shared with
// the ONVIF PTZ service.
class PtzService
{
public:
    struct Answer {
        int status = 200;
        bool closeMidway = false;
        unsigned trickleMs = 0;  // between the bytes of the body
    };

    PtzService(unsigned channels, std::string user, std::string password, FaultSet& faults, RequestLog& log,
               const StopSignal& stop);
    PtzService(PtzMotion& heads, std::string user, std::string password, FaultSet& faults, RequestLog& log,
               const StopSignal& stop);

    bool Start(const std::string& address, std::uint16_t port, std::string* error);
    void Stop() { http_.Stop(); }
    std::uint16_t Port() const { return http_.Port(); }

    // One request: the raw request target and the Authorization header value.
    Answer Handle(const std::string& target, const std::string& authorization);

    PtzHead Head(unsigned address) const;
    unsigned SelectedAddress() const;

private:
    PtzService(std::unique_ptr<PtzMotion> own, std::string user, std::string password, FaultSet& faults,
               RequestLog& log, const StopSignal& stop);

    std::unique_ptr<PtzMotion> ownHeads_;
    PtzMotion& heads_;
    std::string user_, password_;
    FaultSet& faults_;
    RequestLog& log_;
    const StopSignal& stop_;
    mutable std::mutex mutex_;
    unsigned selected_ = 1;
    HttpListener http_;
};

}  // namespace sim
