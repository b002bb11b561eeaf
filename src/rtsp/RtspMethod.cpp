#include "rtsp/RtspMethod.h"

namespace velkora {

const char* RtspMethodName(int method)
{
    switch (method) {
    case kRtspDescribe: return "DESCRIBE";
    case kRtspSetup: return "SETUP";
    case kRtspPlay: return "PLAY";
    case kRtspTeardown: return "TEARDOWN";
    case kRtspOptions: return "OPTIONS";
    default: return "";
    }
}

}  // namespace velkora
