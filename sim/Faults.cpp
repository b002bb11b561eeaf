#include "sim/Faults.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace sim {
namespace {

bool ParseNumber(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && out >= 0;
}

// "[+|-]N" into a signed value.
bool ParseSigned(std::string text, double& out)
{
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        text.erase(0, 1);
    if (!ParseNumber(text, out))
        return false;
    if (negative)
        out = -out;
    return true;
}

bool IsService(const std::string& s)
{
    return s == "onvif" || s == "rtsp" || s == "ptz";
}

bool Fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

}  // namespace

std::optional<Fault> ParseFault(const std::string& spec, std::string* error)
{
    std::string body = spec;
    int count = -1;
    if (auto star = body.rfind('*'); star != std::string::npos) {
        double n = 0;
        if (!ParseNumber(body.substr(star + 1), n) || n < 1 || n > 1e6 || n != static_cast<int>(n)) {
            Fail(error, "bad count in fault '" + spec + "'");
            return std::nullopt;
        }
        count = static_cast<int>(n);
        body.resize(star);
    }
    std::string name = body, arg;
    bool hasArg = false;
    if (auto eq = body.find('='); eq != std::string::npos) {
        name = body.substr(0, eq);
        arg = body.substr(eq + 1);
        hasArg = true;
    }

    Fault f{Fault::Kind::RtpLoss, "", 0, count};
    auto bad = [&](const char* why) {
        Fail(error, "fault '" + spec + "': " + why);
        return std::nullopt;
    };
    if (name == "loss" || name == "reorder" || name == "duplicate") {
        f.kind = name == "loss"      ? Fault::Kind::RtpLoss
                 : name == "reorder" ? Fault::Kind::RtpReorder
                                     : Fault::Kind::RtpDuplicate;
        if (!hasArg || !ParseNumber(arg, f.value) || f.value > 1)
            return bad("needs a rate from 0 to 1");
    } else if (name == "bye-after" || name == "stop-after") {
        f.kind = name == "bye-after" ? Fault::Kind::ByeAfter : Fault::Kind::StopAfter;
        if (!hasArg || !ParseNumber(arg, f.value))
            return bad("needs seconds");
    } else if (name == "refuse-rtsp") {
        f.kind = Fault::Kind::RefuseRtsp;
        if (hasArg)
            return bad("takes no value (use refuse-rtsp*N to refuse N connections)");
    } else if (name == "onvif-401" || name == "onvif-fault") {
        f.kind = name == "onvif-401" ? Fault::Kind::Onvif401 : Fault::Kind::OnvifFault;
        f.target = arg;
    } else if (name == "slow" || name == "trickle") {
        // [SERVICE:]MS: a delay before the answer, or between its bytes.
        const bool slow = name == "slow";
        f.kind = slow ? Fault::Kind::Slow : Fault::Kind::Trickle;
        std::string ms = arg;
        if (auto colon = arg.find(':'); colon != std::string::npos) {
            f.target = arg.substr(0, colon);
            ms = arg.substr(colon + 1);
            if (!IsService(f.target))
                return bad("service must be onvif, rtsp or ptz");
        }
        if (slow && (!ParseNumber(ms, f.value) || f.value > 600000))
            return bad("needs milliseconds");
        if (!slow && (!ParseNumber(ms, f.value) || f.value < 1 || f.value > 60000))
            return bad("needs milliseconds from 1 to 60000");
    } else if (name == "close-midway") {
        f.kind = Fault::Kind::CloseMidway;
        f.target = arg;
        if (hasArg && !IsService(arg))
            return bad("service must be onvif, rtsp or ptz");
    } else if (name == "onvif-digest") {
        f.kind = Fault::Kind::OnvifDigest;
        if (hasArg && arg != "only")
            return bad("takes no value, or 'only' (no WS-Security check)");
        f.value = hasArg ? 1 : 0;
    } else if (name == "clock") {
        f.kind = Fault::Kind::Clock;
        f.window = 300;
        std::string seconds = arg;
        if (auto colon = arg.find(':'); colon != std::string::npos) {
            seconds = arg.substr(0, colon);
            if (!ParseNumber(arg.substr(colon + 1), f.window) || f.window > 1e6)
                return bad("needs window seconds");
        }
        if (!hasArg || !ParseSigned(seconds, f.value) || std::abs(f.value) > 1e9)
            return bad("needs signed seconds");
    } else if (name == "udp-unreachable" || name == "udp-refused") {
        f.kind = name == "udp-unreachable" ? Fault::Kind::UdpUnreachable : Fault::Kind::UdpRefused;
        if (hasArg)
            return bad("takes no value");
    } else if (name == "unannounced-port" || name == "no-server-port") {
        f.kind = name == "unannounced-port" ? Fault::Kind::UnannouncedPort : Fault::Kind::NoServerPort;
        if (hasArg)
            return bad("takes no value");
    } else if (name == "ts-jump" || name == "seq-jump" || name == "stray") {
        f.kind = name == "ts-jump"    ? Fault::Kind::TsJump
                 : name == "seq-jump" ? Fault::Kind::SeqJump
                                      : Fault::Kind::Stray;
        const auto atSign = arg.find('@');
        if (!hasArg || atSign == std::string::npos || !ParseSigned(arg.substr(0, atSign), f.value) ||
            std::abs(f.value) > 1e9 || !ParseNumber(arg.substr(atSign + 1), f.at) || f.at > 1e6)
            return bad("needs a signed amount and seconds after PLAY (AMOUNT@SECONDS)");
    } else if (name == "resize") {
        f.kind = Fault::Kind::Resize;
        const size_t at = arg.find('@');
        unsigned width = 0, height = 0;
        char tail = 0;
        if (at == std::string::npos || std::sscanf(arg.substr(0, at).c_str(), "%ux%u%c", &width, &height, &tail) != 2 ||
            width == 0 || height == 0 || !ParseNumber(arg.substr(at + 1), f.value))
            return bad("needs WIDTHxHEIGHT@SECONDS");
        f.target = arg.substr(0, at);
    } else {
        return bad("unknown fault (loss, reorder, duplicate, bye-after, stop-after, refuse-rtsp, "
                   "onvif-401, onvif-fault, slow, close-midway, onvif-digest, clock, udp-unreachable, "
                   "udp-refused, unannounced-port, no-server-port, trickle, ts-jump, seq-jump, stray, resize)");
    }
    return f;
}

void FaultSet::Set(std::vector<Fault> faults)
{
    std::lock_guard lock(mutex_);
    faults_ = std::move(faults);
}

std::vector<Fault> FaultSet::Get() const
{
    std::lock_guard lock(mutex_);
    return faults_;
}

double FaultSet::Value(Fault::Kind kind) const
{
    std::lock_guard lock(mutex_);
    for (const auto& f : faults_)
        if (f.kind == kind && f.count != 0)
            return f.value;
    return 0;
}

bool FaultSet::Take(Fault::Kind kind, const std::string& target)
{
    std::lock_guard lock(mutex_);
    for (auto& f : faults_) {
        if (f.kind != kind || f.count == 0)
            continue;
        if (!f.target.empty() && f.target != target)
            continue;
        if (f.count > 0)
            --f.count;
        return true;
    }
    return false;
}

unsigned FaultSet::SlowMs(const std::string& service) const
{
    std::lock_guard lock(mutex_);
    for (const auto& f : faults_)
        if (f.kind == Fault::Kind::Slow && (f.target.empty() || f.target == service))
            return static_cast<unsigned>(f.value);
    return 0;
}

unsigned FaultSet::TrickleMs(const std::string& service) const
{
    std::lock_guard lock(mutex_);
    for (const auto& f : faults_)
        if (f.kind == Fault::Kind::Trickle && f.count != 0 && (f.target.empty() || f.target == service))
            return static_cast<unsigned>(f.value);
    return 0;
}

bool FaultSet::RefusesAllRtsp() const
{
    std::lock_guard lock(mutex_);
    for (const auto& f : faults_)
        if (f.kind == Fault::Kind::RefuseRtsp && f.count < 0)
            return true;
    return false;
}

std::optional<Fault> FaultSet::First(Fault::Kind kind) const
{
    std::lock_guard lock(mutex_);
    for (const auto& f : faults_)
        if (f.kind == kind && f.count != 0)
            return f;
    return std::nullopt;
}

}  // namespace sim
