#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velkora {

// SHA-1 (FIPS 180-4). Used only for the WS-Security password digest, where the
// protocol fixes the algorithm.
class CSha1
{
public:
    using Digest = std::array<uint8_t, 20>;

    CSha1();
    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    Digest Final();

    static Digest Of(std::string_view bytes);

private:
    void ProcessBlock(const uint8_t* block);

    std::array<uint32_t, 5> m_state;
    std::array<uint8_t, 64> m_block{};
    std::size_t m_blockUsed = 0;
    uint64_t m_totalBytes = 0;
};

}  // namespace velkora
