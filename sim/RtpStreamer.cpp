#include "sim/RtpStreamer.h"

#include "sim/H264Packetizer.h"
#include "sim/SendTimes.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace sim {

namespace {

constexpr std::uint8_t kPayloadType = 96;
constexpr auto kReportInterval = std::chrono::seconds(5);

void Put32(Bytes& b, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> s));
}

// A restarted encoder begins with a key frame that carries its parameter sets.
bool StartsWithParameterSets(const AccessUnit& au)
{
    return !au.nalUnits.empty() && !au.nalUnits.front().empty() && (au.nalUnits.front()[0] & 0x1f) == 7;
}

}  // namespace

RtpStreamer::RtpStreamer(Setup setup, FaultSet& faults, StreamCounters& counters, std::function<void()> onClientReport)
    : setup_(std::move(setup)), faults_(faults), counters_(counters), onClientReport_(std::move(onClientReport))
{
    std::random_device rd;
    random_ = (static_cast<std::uint64_t>(rd()) << 32) | rd();
    ssrc_ = rd();
    firstSequence_ = sequence_ = static_cast<std::uint16_t>(rd());
    firstTimestamp_ = rd();
}

RtpStreamer::~RtpStreamer()
{
    Stop(false);
}

void RtpStreamer::Start()
{
    std::lock_guard lock(threadMutex_);
    if (playing_ || stop_.Raised())
        return;
    started_ = std::chrono::steady_clock::now();
    thread_ = std::thread([this] { Run(); });
    playing_ = true;
}

void RtpStreamer::Stop(bool bye)
{
    std::lock_guard lock(threadMutex_);
    stop_.Raise();
    if (thread_.joinable()) {
        thread_.join();
        if (bye && !byeSent_)
            SendRtcp(true);
    }
}

std::uint32_t RtpStreamer::TimestampAt(std::chrono::steady_clock::time_point t) const
{
    const double seconds = std::chrono::duration<double>(t - started_).count() * setup_.pace;
    return firstTimestamp_ + timestampJump_ + static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds * 90000.0));
}

void RtpStreamer::SendRtp(const Bytes& packet)
{
    // xorshift: cheap, and good enough to decide which packets to disturb.
    auto chance = [this](double p) {
        if (p <= 0)
            return false;
        random_ ^= random_ << 13;
        random_ ^= random_ >> 7;
        random_ ^= random_ << 17;
        return static_cast<double>(random_ % 1000000) < p * 1000000.0;
    };
    auto send = [this](const Bytes& p) {
        if (setup_.interleave) {
            if (!setup_.interleave(setup_.rtpChannel, p)) {
                ++counters_.rtpDropped;
                return;
            }
        } else if (setup_.udpSilent) {
            ++counters_.rtpDropped;
            return;
        } else {
            ::sendto(setup_.rtpSocket, p.data(), p.size(), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&setup_.rtpPeer), sizeof setup_.rtpPeer);
        }
        ++counters_.rtpPackets;
    };
    if (chance(faults_.Value(Fault::Kind::RtpLoss))) {
        ++counters_.rtpDropped;
        return;
    }
    if (heldBack_.empty() && chance(faults_.Value(Fault::Kind::RtpReorder))) {
        heldBack_ = packet;
        return;
    }
    send(packet);
    if (chance(faults_.Value(Fault::Kind::RtpDuplicate)))
        send(packet);
    if (!heldBack_.empty()) {
        send(heldBack_);
        heldBack_.clear();
    }
}

bool RtpStreamer::SendFrameBatched(const std::vector<Bytes>& payloads, std::uint32_t timestamp)
{
    if (setup_.udpSilent || !heldBack_.empty() || payloads.empty() || faults_.Value(Fault::Kind::RtpLoss) > 0 ||
        faults_.Value(Fault::Kind::RtpReorder) > 0 || faults_.Value(Fault::Kind::RtpDuplicate) > 0)
        return false;
    if (setup_.interleave)
        return SendFrameInterleaved(payloads, timestamp);
    constexpr std::size_t kBatch = 64;
    std::uint8_t headers[kBatch][12];
    iovec parts[kBatch][2];
    mmsghdr messages[kBatch];
    for (std::size_t first = 0; first < payloads.size(); first += kBatch) {
        const std::size_t count = std::min(kBatch, payloads.size() - first);
        for (std::size_t i = 0; i < count; ++i) {
            const Bytes& payload = payloads[first + i];
            PutRtpHeader(headers[i], kPayloadType, first + i + 1 == payloads.size(), sequence_++, timestamp, ssrc_);
            parts[i][0] = {headers[i], 12};
            parts[i][1] = {const_cast<std::uint8_t*>(payload.data()), payload.size()};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = &setup_.rtpPeer;
            messages[i].msg_hdr.msg_namelen = sizeof setup_.rtpPeer;
            messages[i].msg_hdr.msg_iov = parts[i];
            messages[i].msg_hdr.msg_iovlen = 2;
            ++packetCount_;
            octetCount_ += static_cast<std::uint32_t>(payload.size());
        }
        if (first + count == payloads.size())
            NoteFrameSent(ntohs(setup_.rtpPeer.sin_port));
        // As with sendto, a datagram the kernel refuses is lost, not retried.
        for (std::size_t sent = 0; sent < count;) {
            const int n =
                ::sendmmsg(setup_.rtpSocket, messages + sent, static_cast<unsigned>(count - sent), MSG_NOSIGNAL);
            sent += n > 0 ? static_cast<std::size_t>(n) : 1;
        }
        counters_.rtpPackets += count;
    }
    return true;
}

bool RtpStreamer::SendFrameInterleaved(const std::vector<Bytes>& payloads, std::uint32_t timestamp)
{
    if (!setup_.interleaveFrames)
        return false;
    std::size_t total = 0;
    for (const Bytes& payload : payloads) {
        if (12 + payload.size() > 0xffff)
            return false;  // sent one by one, and refused there
        total += 4 + 12 + payload.size();
    }
    framed_.resize(total);
    std::uint8_t* at = framed_.data();
    for (std::size_t i = 0; i < payloads.size(); ++i) {
        const std::size_t size = 12 + payloads[i].size();
        PutInterleavedHeader(at, setup_.rtpChannel, static_cast<std::uint16_t>(size));
        PutRtpHeader(at + 4, kPayloadType, i + 1 == payloads.size(), sequence_++, timestamp, ssrc_);
        std::memcpy(at + 16, payloads[i].data(), payloads[i].size());
        at += 4 + size;
        ++packetCount_;
        octetCount_ += static_cast<std::uint32_t>(payloads[i].size());
    }
    (setup_.interleaveFrames(framed_) ? counters_.rtpPackets : counters_.rtpDropped) += payloads.size();
    return true;
}

void RtpStreamer::SendRtcp(bool bye)
{
    const auto now = std::chrono::steady_clock::now();
    const auto wall = std::chrono::system_clock::now().time_since_epoch();
    const double unixSeconds = std::chrono::duration<double>(wall).count();
    const auto ntpSeconds = static_cast<std::uint64_t>(unixSeconds) + 2208988800ULL;
    const auto ntpFraction = static_cast<std::uint64_t>((unixSeconds - std::floor(unixSeconds)) * 4294967296.0);

    Bytes p{0x80, 200, 0, 6};
    Put32(p, ssrc_);
    Put32(p, static_cast<std::uint32_t>(ntpSeconds));
    Put32(p, static_cast<std::uint32_t>(ntpFraction));
    Put32(p, TimestampAt(now));
    Put32(p, packetCount_);
    Put32(p, octetCount_);
    if (bye) {
        p.insert(p.end(), {0x81, 203, 0, 1});
        Put32(p, ssrc_);
        byeSent_ = true;
        ++counters_.byesSent;
    }
    if (setup_.interleave) {
        if (!setup_.interleave(setup_.rtcpChannel, p))
            return;
    } else if (setup_.udpSilent) {
        return;
    } else {
        ::sendto(setup_.rtcpSocket, p.data(), p.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&setup_.rtcpPeer), sizeof setup_.rtcpPeer);
    }
    ++counters_.senderReports;
}

void RtpStreamer::OnClientRtcp(const std::uint8_t* data, std::size_t size)
{
    CountReports(data, size);
}

void RtpStreamer::CountReports(const std::uint8_t* buf, std::size_t n)
{
    // Walk the compound packet; only well-formed reports count.
    for (std::size_t off = 0; off + 4 <= n;) {
        const std::size_t end = off + 4 + 4 * ((buf[off + 2] << 8) | buf[off + 3]);
        if ((buf[off] & 0xC0) != 0x80 || end > n)
            break;
        if (buf[off + 1] == 201) {
            ++counters_.receiverReports;
            if (onClientReport_)
                onClientReport_();
        }
        off = end;
    }
}

void RtpStreamer::ReadRtcp()
{
    if (setup_.rtcpSocket < 0)
        return;
    std::uint8_t buf[1500];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(setup_.rtcpSocket, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0)
            return;
        if (from.sin_addr.s_addr != setup_.rtcpPeer.sin_addr.s_addr)
            continue;
        CountReports(buf, static_cast<std::size_t>(n));
    }
}

void RtpStreamer::Run()
{
    std::shared_ptr<const Clip> clip = setup_.clip;
    bool switched = false;
    std::uint64_t switchedAt = 0;
    AccessUnit switchUnit;
    const double frameSeconds = 1.0 / setup_.frameRate;
    // Jumps and strays already applied: each spec once per session.
    std::vector<Fault> applied;
    auto nextReport = started_;
    bool silent = false;

    for (std::uint64_t k = 0;; ++k) {
        const auto due = started_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(k * frameSeconds / setup_.pace));
        if (!stop_.SleepUntil(due))
            return;
        ReadRtcp();
        if (silent)
            continue;

        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        // Read at every frame, not once when the stream starts: a fault set while a stream
        // runs applies to it, and one cleared stops applying, whichever thread came first.
        const auto byeAfter = faults_.Value(Fault::Kind::ByeAfter);
        const auto stopAfter = faults_.Value(Fault::Kind::StopAfter);
        if (byeAfter > 0 && elapsed >= byeAfter) {
            SendRtcp(true);
            silent = true;
            continue;
        }
        if (stopAfter > 0 && elapsed >= stopAfter) {
            silent = true;
            continue;
        }

        if (setup_.nextClip && !switched && elapsed >= setup_.switchAfter) {
            // From the new clip's first picture, its parameter sets in front of it.
            switched = true;
            switchedAt = k;
            clip = setup_.nextClip;
            switchUnit = clip->frames.front();
            if ((switchUnit.nalUnits.front()[0] & 0x1F) != 7)
                switchUnit.nalUnits.insert(switchUnit.nalUnits.begin(), {clip->sps, clip->pps});
        }
        const auto& frames = clip->frames;
        const AccessUnit& au = switched && k == switchedAt ? switchUnit : frames[(k - switchedAt) % frames.size()];
        for (const Fault& e : faults_.Get()) {
            if ((e.kind != Fault::Kind::TsJump && e.kind != Fault::Kind::SeqJump && e.kind != Fault::Kind::Stray) ||
                e.count == 0 || elapsed < e.at || (e.kind == Fault::Kind::SeqJump && !StartsWithParameterSets(au)) ||
                std::any_of(applied.begin(), applied.end(),
                            [&](const Fault& a) { return a.kind == e.kind && a.value == e.value && a.at == e.at; }))
                continue;
            applied.push_back(e);
            const auto amount = static_cast<std::int64_t>(std::llround(e.value));
            if (e.kind == Fault::Kind::TsJump)
                timestampJump_ += static_cast<std::uint32_t>(std::llround(e.value * 90000.0));
            else if (e.kind == Fault::Kind::SeqJump)
                sequence_ = static_cast<std::uint16_t>(sequence_ + amount);
            else  // a middle FU-A fragment of nothing, numbered far from the stream
                SendRtp(MakeRtpPacket(kPayloadType, false, static_cast<std::uint16_t>(sequence_ + amount),
                                      TimestampAt(std::chrono::steady_clock::now()), ssrc_,
                                      Bytes{0x7c, 0x01, 0xde, 0xad, 0xbe, 0xef}));
        }
        const auto timestamp = firstTimestamp_ + timestampJump_ +
                               static_cast<std::uint32_t>(static_cast<std::uint64_t>(
                                   std::llround(static_cast<double>(k) * 90000.0 / setup_.frameRate)));
        // The clip's frames were cut once at load; the resize fault's first picture is cut here.
        const bool cut = &au != &switchUnit && clip->payloads.size() == frames.size();
        std::vector<Bytes> made;
        if (!cut)
            made = PacketizeAccessUnit(au);
        const std::vector<Bytes>& payloads = cut ? clip->payloads[(k - switchedAt) % frames.size()] : made;
        const bool batched = SendFrameBatched(payloads, timestamp);
        for (std::size_t i = 0; !batched && i < payloads.size(); ++i) {
            if (i + 1 == payloads.size() && !setup_.interleave && !setup_.udpSilent)
                NoteFrameSent(ntohs(setup_.rtpPeer.sin_port));
            SendRtp(MakeRtpPacket(kPayloadType, i + 1 == payloads.size(), sequence_++, timestamp, ssrc_, payloads[i]));
            ++packetCount_;
            octetCount_ += static_cast<std::uint32_t>(payloads[i].size());
        }
        if (std::chrono::steady_clock::now() >= nextReport) {
            SendRtcp(false);
            nextReport += kReportInterval;
        }
    }
}

}  // namespace sim
