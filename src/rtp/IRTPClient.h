#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

namespace velkora {

class IRTPClient;

// Receives what a UDP client sees: datagrams, quiet periods and its end. Called on the
// client's receive thread; must not call Close of the same client.
class IRTPClientUser
{
public:
    virtual ~IRTPClientUser() = default;
    // One datagram of at least one byte.
    virtual void OnDataReceived(IRTPClient* client, const sockaddr_in& from, const uint8_t* data, size_t length) = 0;
    // The datagrams of one read have all been passed to OnDataReceived: what was gathered
    // from them can be handed on together.
    virtual void OnDataBatchEnd(IRTPClient*) {}
    // One wait period passed without data.
    virtual void OnReceiveTimeout(IRTPClient* client) = 0;
    // The socket is gone (closed, or the network layer failed).
    virtual void OnClientClosed(IRTPClient* client) = 0;
};

// A bound UDP port with a receive thread.
class IRTPClient
{
public:
    virtual ~IRTPClient() = default;
    // group: dotted IPv4 text of the multicast group to join.
    virtual bool OpenMulticast(IRTPClientUser* user, const char* group, uint16_t port) = 0;
    virtual bool Open(IRTPClientUser* user, uint16_t port) = 0;
    // Result of joining the receive thread (false when called from it).
    virtual bool Close() = 0;
    // Bytes offered to each receive; applies from the next open.
    virtual void SetReceiveSize(uint32_t bytes) = 0;
    virtual void SetSelectTimeout(uint32_t milliseconds) = 0;
    // Bound local port; 0 while closed.
    virtual uint16_t GetPort() = 0;
};

}  // namespace velkora
