#include "TransportOption.h"

#include <cstdlib>

namespace hqcli {

void AddTransportOption(CLI::App& app, std::string& choice)
{
    app.add_option("--transport", choice,
                   "RTP over udp, over tcp inside the RTSP connection, or auto: UDP, and TCP once UDP does not "
                   "arrive (default auto, or $HARNOQUISTEL_RTSP_TRANSPORT)")
        ->check(CLI::IsMember({"udp", "tcp", "auto"}));
}

void ApplyTransport(const std::string& choice)
{
    if (!choice.empty())
        setenv("HARNOQUISTEL_RTSP_TRANSPORT", choice.c_str(), 1);
}

}  // namespace hqcli
