#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velkora {

// Standard alphabet (RFC 4648) with '=' padding, on one unbroken line.
std::string Base64Encode(const void* data, std::size_t size);
inline std::string Base64Encode(std::string_view bytes)
{
    return Base64Encode(bytes.data(), bytes.size());
}

// Length of the MIME (RFC 2045) form of `size` input bytes: 4 characters per started
// 3 bytes plus a CR LF per started 76-character line. Callers with a fixed buffer size
// their input with it.
std::size_t Base64MimeEncodedSize(std::size_t size);

// Lenient decoder for device texts: characters outside the alphabet, '=' included,
// are skipped. Fails (output cleared) when more than `maxSize` bytes would result.
bool Base64Decode(std::string_view text, std::vector<std::uint8_t>& out,
                  std::size_t maxSize = static_cast<std::size_t>(-1));

}  // namespace velkora
