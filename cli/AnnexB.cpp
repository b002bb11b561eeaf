#include "AnnexB.h"

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

}  // namespace

std::vector<NalUnit> SplitNalUnits(const uint8_t* data, size_t size)
{
    std::vector<NalUnit> units;
    const uint8_t* begin = nullptr;
    size_t i = 0;
    while (i + 3 <= size) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (begin != nullptr) {
                // A 4-byte start code leaves its zero on the unit before.
                size_t end = i;
                while (end > static_cast<size_t>(begin - data) && data[end - 1] == 0)
                    --end;
                units.push_back({begin, static_cast<size_t>(data + end - begin)});
            }
            i += 3;
            begin = data + i;
            continue;
        }
        ++i;
    }
    if (begin != nullptr && begin < data + size)
        units.push_back({begin, static_cast<size_t>(data + size - begin)});
    return units;
}

bool HasIdrSlice(const std::vector<NalUnit>& units)
{
    for (const NalUnit& unit : units)
        if (unit.Type() == NalIdr)
            return true;
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
