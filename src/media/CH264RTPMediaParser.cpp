#include "media/CH264RTPMediaParser.h"

#include <cstring>

#include "foundation/IDriver.h"
#include "foundation/MethodName.h"
#include "media/FrameSizeClass.h"
#include "media/H264Sps.h"
#include "media/IMediaParserClient.h"

#include <velkora/hostframes.h>

namespace velkora {

namespace {

constexpr char kClassName[] = "CH264RTPMediaParser";
constexpr uint8_t kStartCode[] = {0x00, 0x00, 0x01};
// A 4-byte start code and the header of an access unit delimiter (without its payload byte).
constexpr uint8_t kTrailer[] = {0x00, 0x00, 0x00, 0x01, 0x09};

enum NalType : uint8_t
{
    kNalIdr = 5,
    kNalSei = 6,
    kNalSps = 7,
    kNalPps = 8,
    kNalAud = 9,
    kStapA = 24,
    kFuA = 28,
};

// g++ 12 at -O3 follows the insert into an empty buffer down a reallocation path
// it cannot size and reports an overflow that cannot happen.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
void Append(std::vector<uint8_t>& buffer, const uint8_t* data, size_t length)
{
    buffer.insert(buffer.end(), data, data + length);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace

void CH264RTPMediaParser::Reset()
{
    width_ = 0;
    height_ = 0;
    waitingForSps_ = true;
    justReset_ = true;
    frameBuffer_.clear();  // keeps the capacity for the next access unit
}

void CH264RTPMediaParser::SetParameterSets(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps,
                                           const std::vector<uint8_t>&)
{
    if (sps.empty() || pps.empty())
        return;
    std::vector<uint8_t> scratch;
    scratch.reserve(sps.size() + pps.size() + 6);
    Append(scratch, kStartCode, sizeof kStartCode);
    Append(scratch, sps.data(), sps.size());
    Append(scratch, kStartCode, sizeof kStartCode);
    Append(scratch, pps.data(), pps.size());
    uint16_t width = 0;
    uint16_t height = 0;
    if (!ParseH264Sps(scratch.data(), scratch.size(), width, height))
        return;
    width_ = width;
    height_ = height;
    sps_ = sps;
    pps_ = pps;
}

void CH264RTPMediaParser::ProcessPacket(const CRTPPacket& packet)
{
    const uint16_t sequence = packet.GetSequenceNumber();
    const uint16_t previous = lastSequence_;
    lastSequence_ = sequence;
    if (firstPacket_) {
        firstPacket_ = false;
    } else if (sequence != static_cast<uint16_t>(previous + 1)) {
        Reset();  // a gap, a duplicate or reordering: the access unit is incomplete
    }

    try {
        const bool ok = ProcessPayload(packet.GetPayload(), packet.GetPayloadLength());
        if (ok && packet.GetMarker() && !frameBuffer_.empty()) {
            ProcessFrame(packet.GetTimestamp());
            frameBuffer_.clear();
        }
    } catch (...) {
    }
    if (packet.GetMarker())
        justReset_ = false;
}

bool CH264RTPMediaParser::ProcessPayload(const uint8_t* payload, size_t length)
{
    bool ok = false;
    if (payload != nullptr && length > 0) {
        switch (payload[0] & 0x1f) {
        case kStapA: ok = ProcessStapA(payload, length); break;
        case kFuA: ok = ProcessFuA(payload, length); break;
        case 0:
        case 25:  // STAP-B
        case 26:  // MTAP16
        case 27:  // MTAP24
        case 29:  // FU-B
        case 30:
        case 31: break;
        default: ok = ProcessSingleNal(payload, length); break;
        }
    }
    if (ok && CheckBufferSize())
        return true;
    Reset();
    return false;
}

void CH264RTPMediaParser::PutParameterSetsInFront()
{
    if (!frameBuffer_.empty() || sps_.empty() || pps_.empty())
        return;
    AppendNal(sps_.data(), sps_.size());
    AppendNal(pps_.data(), pps_.size());
}

void CH264RTPMediaParser::AppendNal(const uint8_t* nal, size_t length)
{
    Append(frameBuffer_, kStartCode, sizeof kStartCode);
    Append(frameBuffer_, nal, length);
}

// One whole NAL unit, alone or from an aggregate: parameter sets are kept for the next key
// frame, which gets them in front; SEI and delimiters are dropped.
void CH264RTPMediaParser::TakeNal(const uint8_t* nal, size_t length)
{
    switch (nal[0] & 0x1f) {
    case kNalIdr:
        PutParameterSetsInFront();
        AppendNal(nal, length);
        break;
    case kNalSei:
    case kNalAud: break;
    case kNalSps:
        sps_.assign(nal, nal + length);
        justReset_ = false;
        break;
    case kNalPps:
        pps_.assign(nal, nal + length);
        justReset_ = false;
        break;
    default: AppendNal(nal, length); break;
    }
}

bool CH264RTPMediaParser::ProcessSingleNal(const uint8_t* nal, size_t length)
{
    if (length < 2)
        return false;
    TakeNal(nal, length);
    return true;
}

bool CH264RTPMediaParser::ProcessStapA(const uint8_t* payload, size_t length)
{
    if (length < 3)
        return false;
    const uint8_t* position = payload + 1;
    size_t remaining = length - 1;
    while (remaining > 1) {
        const size_t size = (size_t{position[0]} << 8) | position[1];
        position += 2;
        remaining -= 2;
        if (size > remaining)
            return false;
        if (remaining == 0)
            break;
        // size may be 0: the type byte is still inside the payload because remaining > 0.
        TakeNal(position, size);
        position += size;
        remaining -= size;
    }
    return true;
}

bool CH264RTPMediaParser::ProcessFuA(const uint8_t* payload, size_t length)
{
    if (length < 2)
        return false;
    const uint8_t indicator = payload[0];
    const uint8_t header = payload[1];
    if (header & 0x80) {
        const uint8_t nalHeader = static_cast<uint8_t>((indicator & 0xe0) | (header & 0x1f));
        if ((nalHeader & 0x1f) == kNalIdr && frameBuffer_.empty() && !justReset_)
            PutParameterSetsInFront();
        Append(frameBuffer_, kStartCode, sizeof kStartCode);
        frameBuffer_.push_back(nalHeader);
    }
    if (length >= 3)
        Append(frameBuffer_, payload + 2, length - 2);
    return true;
}

void CH264RTPMediaParser::ProcessFrame(uint32_t rtpTimestamp)
{
    if (driver_ == nullptr)
        return;
    ipcapture::IHostFrameFactory* factory = driver_->GetHostContext();
    if (factory == nullptr || client_ == nullptr || frameBuffer_.empty())
        return;

    Append(frameBuffer_, kTrailer, sizeof kTrailer);
    const size_t size = frameBuffer_.size();

    uint32_t type = kFrameTypeI264;
    uint16_t width = 0;
    uint16_t height = 0;
    if (ParseH264Sps(frameBuffer_.data(), size, width, height)) {
        type = kFrameTypeH264;
        width_ = width;
        height_ = height;
        waitingForSps_ = false;
    } else if (waitingForSps_) {
        frameBuffer_.clear();
        return;
    }

    const std::string& sourceName = client_->GetFrameSourceName();
    ipcapture::IHostFrame* frame = factory->CreateFrame(type, static_cast<uint32_t>(size), sourceName.c_str());
    if (frame == nullptr)
        return;

    try {
        uint8_t* data = frame->GetData();
        // A frame smaller than asked for would be overrun by the copy: treat it as a copy failure.
        if (data == nullptr || frame->GetCapacity() < size) {
            driver_->DebugMessage(DebugFailure, "%s: Data copying error, device %s",
                                  MethodName(kClassName, "ProcessFrame").c_str(), driver_->GetName().c_str());
            Reset();
        } else {
            std::memcpy(data, frameBuffer_.data(), size);
            SYSTEMTIME frameTime{};
            client_->GetFrameTime(rtpTimestamp, frameTime);
            frame->SetWidth(width_);
            frame->SetHeight(height_);
            frame->SetSizeClass(GetFrameSizeClass(width_, height_));
            frame->SetDataSize(static_cast<uint32_t>(size));
            frame->SetFrameType(type);
            frame->SetTime(frameTime);
            if (!client_->OnFrame(frame))
                Reset();
        }
    } catch (...) {
        factory->ReleaseFrame(frame);
        throw;
    }
    factory->ReleaseFrame(frame);
}

}  // namespace velkora
