#pragma once
// The opt-in diagnostic trace: with HARNOQUISTEL_TRACE=1 in the environment, the steps of
// a stream start reach the host's debug output at level 4 (DebugTrace), which is dropped
// otherwise. A trace line that says why a start failed carries "reason: " before the
// reason, so that a tool can show the last one.

#include <string>
#include <string_view>

namespace velkora {

// Whether HARNOQUISTEL_TRACE is "1"; read by the driver when it opens.
bool TraceRequested();

// Text from the network made fit for one log line: printable ASCII only, bounded.
std::string TraceText(std::string_view untrusted, size_t limit = 160);

// An address made fit for a log line without its credentials: the user information
// (up to the last '@' before the query, since a camera may leave '@', '/' or ':' of a
// password unescaped) is removed, and the values of query parameters whose names look
// like credentials (user, password, token, auth, ...) read "***".
std::string TraceAddress(std::string_view address, size_t limit = 160);

}  // namespace velkora
