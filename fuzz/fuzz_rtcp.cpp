// Compound RTCP from the camera, and the RTP sequence statistics, on a closed handler.
#include <netinet/in.h>

#include <string>

#include "foundation/IDebugMessage.h"
#include "rtp/CRTCPHandler.h"

namespace {
class QuietDebug : public velkora::IDebugMessage
{
public:
    std::string GetName() override { return "fuzz:0"; }
    void DebugMessage(int32_t, const char*, ...) override {}
};
class Counter : public velkora::IRTCPHandlerUser
{
public:
    void OnRTCPBye() override { ++byes; }
    int byes = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QuietDebug debug;
    velkora::CRTCPHandler handler(&debug);
    Counter user;
    handler.SetUser(&user);
    sockaddr_in from{};  // a closed handler's camera address is 0
    from.sin_family = AF_INET;
    handler.OnDataReceived(nullptr, from, data, size);
    for (size_t i = 0; i + 1 < size; i += 2)
        handler.NoteSequence(static_cast<uint16_t>((data[i] << 8) | data[i + 1]));
    return 0;
}
