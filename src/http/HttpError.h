#pragma once

#include <cstdint>

namespace Web {

// Platform error numbers of a failed exchange (CBaseHttpSender::GetLastError).
enum HttpError : uint32_t
{
    HttpErrorTimeout = 12002,
    HttpErrorInternal = 12004,
    HttpErrorNameNotResolved = 12007,
    HttpErrorCancelled = 12017,
    HttpErrorCannotConnect = 12029,
    HttpErrorConnectionError = 12030,
    HttpErrorInvalidServerResponse = 12152,
    HttpErrorSecureFailure = 12175,
};

}  // namespace Web
