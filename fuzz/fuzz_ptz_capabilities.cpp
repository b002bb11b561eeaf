// Any bytes as a stored PTZ capability text, and as key + text of the key lookups
// (input "key\0text"; without a NUL the whole input is the text and the key is "Pan").
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/KeyValueLookup.h"
#include "ptz/CPtzCapabilities.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    velkora::CPtzCapabilities parsed;
    parsed.FromString(input);
    velkora::PTZ_CAPABILITIES record{};
    parsed.FillRecord(&record);
    // What we store must read back as itself (functions without their axis are dropped
    // on the first write, never later).
    const std::string stored = parsed.ToString();
    velkora::CPtzCapabilities again;
    again.FromString(stored);
    if (again.ToString() != stored)
        std::abort();

    std::string_view key = "Pan";
    std::string_view text = input;
    if (const std::size_t nul = input.find('\0'); nul != std::string_view::npos) {
        key = input.substr(0, nul);
        text = input.substr(nul + 1);
    }
    const std::string value = velkora::LookupKeyValue(text, key, "=", "; \t\r\n");
    // A value never reaches past its token.
    if (value.find_first_of("; \t\r\n") != std::string::npos || value.size() > text.size())
        std::abort();
    const std::string delimited = velkora::LookupDelimitedValue(text, key, ":", "\r\n");
    if (delimited.find_first_of("\r\n") != std::string::npos || delimited.size() > text.size())
        std::abort();
    return 0;
}
