#pragma once

namespace velkora {

// RTSP request methods; also the kind of response a parser is asked to read.
enum RtspMethod : int
{
    kRtspDescribe = 1,
    kRtspSetup = 2,
    kRtspPlay = 3,
    kRtspTeardown = 4,
    kRtspOptions = 5,
};

// "DESCRIBE", "SETUP", ...; empty for an unknown code.
const char* RtspMethodName(int method);

// Authentication schemes of a challenge and of the client's requests.
enum RtspAuthScheme : int
{
    kAuthNone = 0,
    kAuthBasic = 1,
    kAuthDigest = 2
};

}  // namespace velkora
