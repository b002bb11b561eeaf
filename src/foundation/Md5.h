#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velkora {

// MD5 message digest (RFC 1321).
class CMd5
{
public:
    using Digest = std::array<std::uint8_t, 16>;

    CMd5() { Reset(); }
    void Reset();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    Digest Final();  // the object is reset afterwards

private:
    void Transform(const std::uint8_t block[64]);

    std::uint32_t state_[4];
    std::uint64_t length_;  // bytes hashed so far
    std::uint8_t buffer_[64];
};

CMd5::Digest Md5(std::string_view bytes);
// 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view bytes);

}  // namespace velkora
