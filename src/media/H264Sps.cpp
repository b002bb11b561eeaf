#include "media/H264Sps.h"

#include <algorithm>

namespace velkora {

namespace {

constexpr size_t kSearchWindow = 64;

// MSB-first bit reader over NAL unit bytes. Reads past the end yield 1-bits (so that
// Exp-Golomb codes terminate) and mark the reader as overrun.
class SpsBitReader
{
public:
    SpsBitReader(const uint8_t* begin, const uint8_t* end) : current_(begin), end_(end) { Fetch(); }

    bool Overrun() const { return overrun_; }

    uint32_t Bit()
    {
        if (current_ >= end_) {
            overrun_ = true;
            return 1;
        }
        const uint32_t bit = (*current_ >> (7 - bitIndex_)) & 1;
        if (++bitIndex_ == 8) {
            bitIndex_ = 0;
            ++current_;
            Fetch();
        }
        return bit;
    }

    uint32_t Bits(int count)
    {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value = (value << 1) | Bit();
        return value;
    }

    // ue(v); false for codes longer than 32 bits, which no valid SPS holds.
    bool Ue(uint64_t& value)
    {
        int zeros = 0;
        while (Bit() == 0) {
            if (++zeros > 32)
                return false;
        }
        value = (uint64_t{1} << zeros) - 1 + Bits(zeros);
        return true;
    }

    bool Se(int64_t& value)
    {
        uint64_t k = 0;
        if (!Ue(k))
            return false;
        value = (k & 1) ? static_cast<int64_t>((k + 1) / 2) : -static_cast<int64_t>(k / 2);
        return true;
    }

private:
    // Positions current_ on the next payload byte, skipping the 03 of a 00 00 03 sequence.
    void Fetch()
    {
        if (current_ >= end_)
            return;
        if (zeros_ >= 2 && *current_ == 0x03) {
            zeros_ = 0;
            ++current_;
            if (current_ >= end_)
                return;
        }
        zeros_ = (*current_ == 0) ? zeros_ + 1 : 0;
    }

    const uint8_t* current_;
    const uint8_t* end_;
    int bitIndex_ = 0;
    int zeros_ = 0;
    bool overrun_ = false;
};

bool SkipScalingList(SpsBitReader& reader, int size)
{
    int64_t last = 8;
    int64_t next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) {
            int64_t delta = 0;
            if (!reader.Se(delta))
                return false;
            next = ((last + delta) % 256 + 256) % 256;
        }
        last = (next == 0) ? last : next;
    }
    return true;
}

bool ParseSpsBody(SpsBitReader& r, uint16_t& width, uint16_t& height)
{
    uint64_t v = 0;
    const uint32_t profile = r.Bits(8);
    r.Bits(4);  // constraint_set0..3
    r.Bits(4);  // constraint_set4..5, reserved
    r.Bits(8);  // level_idc
    if (!r.Ue(v))
        return false;  // seq_parameter_set_id

    if (profile >= 100) {
        uint64_t chromaFormat = 0;
        if (!r.Ue(chromaFormat))
            return false;
        if (chromaFormat == 3)
            r.Bit();  // separate_colour_plane_flag
        if (!r.Ue(v) || !r.Ue(v))
            return false;  // bit depths
        r.Bit();           // qpprime_y_zero_transform_bypass_flag
        if (r.Bit()) {
            // 4:4:4 carries six 8x8 lists instead of two.
            const int lists = (chromaFormat == 3) ? 12 : 8;
            for (int i = 0; i < lists; ++i) {
                if (r.Bit() && !SkipScalingList(r, i < 6 ? 16 : 64))
                    return false;
                if (r.Overrun())
                    return false;
            }
        }
    }

    if (!r.Ue(v))
        return false;  // log2_max_frame_num_minus4
    uint64_t pocType = 0;
    if (!r.Ue(pocType))
        return false;
    if (pocType == 0) {
        if (!r.Ue(v))
            return false;
    } else if (pocType == 1) {
        r.Bit();
        int64_t s = 0;
        if (!r.Se(s) || !r.Se(s))
            return false;
        uint64_t cycle = 0;
        // At most 255 in a valid SPS; the bound keeps a hostile count from spinning.
        if (!r.Ue(cycle) || cycle > 255)
            return false;
        for (uint64_t i = 0; i < cycle; ++i) {
            if (!r.Se(s))
                return false;
        }
    }

    if (!r.Ue(v))
        return false;  // max_num_ref_frames
    r.Bit();           // gaps_in_frame_num_value_allowed_flag
    uint64_t widthMbs = 0;
    uint64_t heightMapUnits = 0;
    if (!r.Ue(widthMbs) || !r.Ue(heightMapUnits))
        return false;
    const uint32_t frameMbsOnly = r.Bit();
    if (!frameMbsOnly)
        r.Bit();  // mb_adaptive_frame_field_flag
    r.Bit();      // direct_8x8_inference_flag

    int64_t w = static_cast<int64_t>(widthMbs + 1) * 16;
    int64_t h = static_cast<int64_t>(2 - frameMbsOnly) * static_cast<int64_t>(heightMapUnits + 1) * 16;
    if (r.Bit()) {
        uint64_t left = 0, right = 0, top = 0, bottom = 0;
        if (!r.Ue(left) || !r.Ue(right) || !r.Ue(top) || !r.Ue(bottom))
            return false;
        w -= 2 * static_cast<int64_t>(left + right);
        h -= 2 * static_cast<int64_t>(top + bottom);
    }
    if (r.Overrun())
        return false;
    // Sizes that do not fit the 16-bit fields (or cropped below zero) are corrupt, not wrapped.
    if (w <= 0 || h <= 0 || w > 0xffff || h > 0xffff)
        return false;
    width = static_cast<uint16_t>(w);
    height = static_cast<uint16_t>(h);
    return true;
}

}  // namespace

bool ParseH264Sps(const uint8_t* buffer, size_t length, uint16_t& width, uint16_t& height)
{
    if (buffer == nullptr)
        return false;
    const size_t window = std::min(length, kSearchWindow);
    for (size_t i = 0; i < window; ++i) {
        if (i + 3 >= length)
            break;
        if (buffer[i] == 0 && buffer[i + 1] == 0 && buffer[i + 2] == 1 && (buffer[i + 3] & 0x1f) == 7) {
            SpsBitReader reader(buffer + i + 4, buffer + length);
            return ParseSpsBody(reader, width, height);
        }
    }
    return false;
}

}  // namespace velkora
