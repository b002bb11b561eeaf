#include "foundation/Base64.h"

namespace velkora {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DecodeChar(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace

std::string Base64Encode(const void* data, std::size_t size)
{
    const auto* in = static_cast<const std::uint8_t*>(data);
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t v = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (const std::size_t rest = size - i; rest > 0) {
        std::uint32_t v = in[i] << 16;
        if (rest == 2)
            v |= in[i + 1] << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::size_t Base64MimeEncodedSize(std::size_t size)
{
    const std::size_t chars = (size + 2) / 3 * 4;
    return chars + (chars + 75) / 76 * 2;
}

bool Base64Decode(std::string_view text, std::vector<std::uint8_t>& out, std::size_t maxSize)
{
    out.clear();
    std::uint32_t bits = 0;
    int count = 0;
    for (const char ch : text) {
        const int v = DecodeChar(static_cast<unsigned char>(ch));
        if (v < 0)
            continue;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            if (out.size() >= maxSize) {
                out.clear();
                return false;
            }
            out.push_back(static_cast<std::uint8_t>(bits >> count));
            bits &= (1u << count) - 1;
        }
    }
    return true;
}

}  // namespace velkora
