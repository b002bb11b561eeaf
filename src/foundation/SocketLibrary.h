#pragma once
// Reference count of the users of the socket layer. On Linux sockets need
// no start-up; the count is kept so that start and release stay paired.
// Sockets of the library send with MSG_NOSIGNAL: a peer that closes must
// not raise SIGPIPE in the host process.

namespace velkora {

bool SocketLibraryStartup();
void SocketLibraryCleanup();
int SocketLibraryUsers();

} // namespace velkora
