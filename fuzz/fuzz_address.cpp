// Any bytes as a device address ("host[:port]") and as a stream address from the device.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "capability/CVerintCapabilityQueryModule.h"
#include "channels/StreamUri.h"
#include "foundation/AddressText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::string host;
    std::uint16_t port = 0;
    const bool split = velkora::SplitHostPort(text, 80, host, port);
    if (split && (host.empty() || port == 0 || host.size() > text.size()))
        std::abort();

    // The capability query's own split. A malformed address is refused later by the
    // query thread, so only a well-formed one must leave usable ports behind.
    velkora::CVerintCapabilityQueryModule query(nullptr, false);
    query.SetAddress(text.c_str(), size > 1 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : 0);
    const bool wellFormed = !text.empty() && text.find('\0') == std::string::npos && split;
    if (query.deviceInfo.port == 0 || (wellFormed && query.ptzPort == 0))
        std::abort();

    const std::string path = velkora::StreamUriPath(text);
    if (path.size() > text.size())
        std::abort();
    const std::string portText = velkora::StreamUriPortText(text);
    if (const auto parsed = velkora::ParsePortText(portText); parsed && *parsed == 0)
        std::abort();
    return 0;
}
