#include "AnnexB.h"

#include <algorithm>
#include <cstring>

namespace hqcli {

namespace {

constexpr uint8_t StartCode[] = {0, 0, 0, 1};

void AppendUnit(std::vector<uint8_t>& out, const NalUnit& unit)
{
    // Grown once and filled by copy: g++ 12 at -O3 misreads two inserts in a row
    // into a fresh vector as an overflow (-Wstringop-overflow).
    size_t at = out.size();
    out.resize(at + sizeof StartCode + unit.size);
    std::memcpy(out.data() + at, StartCode, sizeof StartCode);
    if (unit.size > 0)
        std::memcpy(out.data() + at + sizeof StartCode, unit.data, unit.size);
}

// The offset of the first start code (00 00 01) at or after `from`; `size` when none.
// memchr finds the 01 bytes: the scan stays fast over a large slice.
size_t FindStartCode(const uint8_t* data, size_t from, size_t size)
{
    for (size_t at = from + 2; at < size;) {
        const void* one = std::memchr(data + at, 1, size - at);
        if (one == nullptr)
            break;
        at = static_cast<size_t>(static_cast<const uint8_t*>(one) - data);
        if (data[at - 1] == 0 && data[at - 2] == 0)
            return at - 2;
        ++at;
    }
    return size;
}

}  // namespace

std::vector<NalUnit> SplitNalUnits(const uint8_t* data, size_t size)
{
    std::vector<NalUnit> units;
    size_t code = FindStartCode(data, 0, size);
    while (code < size) {
        const size_t begin = code + 3;
        code = FindStartCode(data, begin, size);
        size_t end = std::min(code, size);
        if (code < size) {
            // A 4-byte start code leaves its zero on the unit before.
            while (end > begin && data[end - 1] == 0)
                --end;
        } else if (begin == size) {
            break;
        }
        units.push_back({data + begin, end - begin});
    }
    return units;
}

bool HasIdrSlice(const std::vector<NalUnit>& units)
{
    for (const NalUnit& unit : units)
        if (unit.Type() == NalIdr)
            return true;
    return false;
}

bool StartsWithIdrPicture(const uint8_t* data, size_t size)
{
    for (size_t code = FindStartCode(data, 0, size); code + 3 < size; code = FindStartCode(data, code + 3, size)) {
        const int type = data[code + 3] & 0x1f;
        if (type >= 1 && type <= NalIdr)
            return type == NalIdr;
    }
    return false;
}

std::vector<uint8_t> ParameterSets(const std::vector<NalUnit>& units)
{
    const NalUnit* sps = nullptr;
    const NalUnit* pps = nullptr;
    for (const NalUnit& unit : units) {
        if (unit.Type() == NalSps && sps == nullptr)
            sps = &unit;
        else if (unit.Type() == NalPps && pps == nullptr)
            pps = &unit;
    }
    std::vector<uint8_t> out;
    if (sps != nullptr && pps != nullptr) {
        AppendUnit(out, *sps);
        AppendUnit(out, *pps);
    }
    return out;
}

std::vector<uint8_t> WithoutDelimiters(const std::vector<NalUnit>& units)
{
    std::vector<uint8_t> out;
    for (const NalUnit& unit : units)
        if (unit.Type() != NalDelimiter && unit.size > 0)
            AppendUnit(out, unit);
    return out;
}

}  // namespace hqcli
