#include "foundation/PasswordOptions.h"

#include <cstdlib>
#include <string>

namespace velkora {

void ReadPasswordOptions(DEVICE_INFO& device)
{
    const char* plaintext = std::getenv("HARNOQUISTEL_PLAINTEXT_PASSWORD");
    device.neverPlaintextPassword = plaintext != nullptr && std::string(plaintext) == "never";
    const char* caFile = std::getenv("HARNOQUISTEL_CA_FILE");
    device.caFile = caFile != nullptr ? caFile : "";
}

}  // namespace velkora
