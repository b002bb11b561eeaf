// Any bytes as the answer to each kind of RTSP request.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "rtsp/CRTSPResponseParser.h"
#include "rtsp/RtspAuthorization.h"
#include "rtsp/RtspMethod.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    velkora::CRTSPResponseParser parser;
    for (int kind = velkora::kRtspDescribe; kind <= velkora::kRtspOptions; ++kind) {
        if (parser.Parse(kind, text) && parser.Status() == 401) {
            velkora::MakeAuthorization(parser.AuthScheme(), "user", "password", parser.Realm(), parser.Nonce(),
                                       velkora::RtspMethodName(kind), "rtsp://127.0.0.1/");
        }
        parser.Reset();
    }
    return 0;
}
