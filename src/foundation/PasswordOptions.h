#pragma once

#include "foundation/DEVICE_INFO.h"

namespace velkora {

// The integrator's password options, read from the environment when a device is opened
// (or a query starts): HARNOQUISTEL_PLAINTEXT_PASSWORD=never keeps the password off the
// wire in clear on every channel; HARNOQUISTEL_CA_FILE=PATH verifies HTTPS certificates
// against that file.
void ReadPasswordOptions(DEVICE_INFO& device);

}  // namespace velkora
