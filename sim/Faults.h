#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// One injected misbehaviour. Spec text: NAME[=ARG][*COUNT], for example
// "loss=0.05", "bye-after=10", "refuse-rtsp*2", "onvif-fault=GetStreamUri*1",
// "slow=onvif:800", "close-midway=ptz", "onvif-digest=only", "clock=-3600:30", "trickle=rtsp:80",
// "ts-jump=3600@5".
struct Fault {
    enum class Kind
    {
        RtpLoss,          // value: probability 0..1 that an RTP packet is not sent
        RtpReorder,       // value: probability that a packet is held back behind the next one
        RtpDuplicate,     // value: probability that a packet is sent twice
        ByeAfter,         // value: seconds after PLAY; then RTCP BYE and no more RTP
        StopAfter,        // value: seconds after PLAY; then silence (session stays)
        RefuseRtsp,       // RTSP connections refused (reset when a count is given)
        Onvif401,         // target: operation or empty for all; answered with HTTP 401
        OnvifFault,       // target: operation or empty for all; answered with a SOAP fault
        Slow,             // target: service or empty for all; value: milliseconds of delay
        CloseMidway,      // target: service or empty for all; half the answer, then close
        OnvifDigest,      // ONVIF behind HTTP Digest (qop="auth"); value 1: without the WS-Security check
        Clock,            // value: seconds the device's clock is ahead (negative: behind); window: Created freshness
        UdpUnreachable,   // RTP and RTCP over UDP are never sent (one count per session)
        UdpRefused,       // SETUP of RTP over UDP answered 461 Unsupported Transport
        UnannouncedPort,  // SETUP answers a server_port pair other than the one RTP and RTCP come from
        Trickle,          // target: service or empty for all; value: milliseconds between the answer's bytes
        NoServerPort,     // SETUP answers without a server_port pair
        TsJump,           // value: seconds the RTP timestamps jump (signed); at: seconds after PLAY
        SeqJump,  // value: sequence numbers skipped at the next key frame with SPS from `at` on (encoder restart)
        Stray,    // value: one datagram this far ahead of the sequence (signed), at `at`
        Resize,   // target: "WIDTHxHEIGHT"; value: seconds after PLAY; then that clip, new SPS in band
    };
    Kind kind;
    std::string target;
    double value = 0;
    int count = -1;     // applications left; -1 = unlimited
    double window = 0;  // Clock: seconds a Created may be off the device's clock
    double at = 0;      // TsJump, SeqJump, Stray: seconds after PLAY
};

// Parses one spec; nullopt with `error` filled for a malformed one.
std::optional<Fault> ParseFault(const std::string& spec, std::string* error = nullptr);

// The faults in force, shared by the services; counts are consumed under the lock.
class FaultSet
{
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
    // Milliseconds between the bytes of a service's answers (0: sent at once).
    unsigned TrickleMs(const std::string& service) const;
    // An unlimited refusal: the RTSP port should not even listen.
    bool RefusesAllRtsp() const;
    // The first fault of `kind` in force (counts untouched).
    std::optional<Fault> First(Fault::Kind kind) const;

private:
    mutable std::mutex mutex_;
    std::vector<Fault> faults_;
};

}  // namespace sim
