#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// One injected misbehaviour. Spec text: NAME[=ARG][*COUNT], for example
// "loss=0.05", "bye-after=10", "refuse-rtsp*2", "onvif-fault=GetStreamUri*1",
// "slow=onvif:800", "close-midway=ptz".
struct Fault {
    enum class Kind {
        RtpLoss,       // value: probability 0..1 that an RTP packet is not sent
        RtpReorder,    // value: probability that a packet is held back behind the next one
        RtpDuplicate,  // value: probability that a packet is sent twice
        ByeAfter,      // value: seconds after PLAY; then RTCP BYE and no more RTP
        StopAfter,     // value: seconds after PLAY; then silence (session stays)
        RefuseRtsp,    // RTSP connections refused (reset when a count is given)
        Onvif401,      // target: operation or empty for all; answered with HTTP 401
        OnvifFault,    // target: operation or empty for all; answered with a SOAP fault
        Slow,          // target: service or empty for all; value: milliseconds of delay
        CloseMidway,   // target: service or empty for all; half the answer, then close
        UnannouncedPort,  // SETUP answers a server_port pair other than the one RTP and RTCP come from
    };
    Kind kind;
    std::string target;
    double value = 0;
    int count = -1;  // applications left; -1 = unlimited
};

// Parses one spec; nullopt with `error` filled for a malformed one.
std::optional<Fault> ParseFault(const std::string& spec, std::string* error = nullptr);

// The faults in force, shared by the services; counts are consumed under the lock.
class FaultSet {
public:
    void Set(std::vector<Fault> faults);
    std::vector<Fault> Get() const;

    // Probability or seconds of a value fault; 0 when absent.
    double Value(Fault::Kind kind) const;
    // True (and one count consumed) when a fault of `kind` applies to `target`
    // (faults without a target apply to everything).
    bool Take(Fault::Kind kind, const std::string& target);
    // Delay for a service in milliseconds (0 when none).
    unsigned SlowMs(const std::string& service) const;
    // An unlimited refusal: the RTSP port should not even listen.
    bool RefusesAllRtsp() const;

private:
    mutable std::mutex mutex_;
    std::vector<Fault> faults_;
};

}  // namespace sim
