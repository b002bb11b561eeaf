#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "foundation/MonotonicClock.h"
#include "rtsp/RTSPSessionSettings.h"

namespace velkora {

// The session's TCP connection. Every wait on the peer is bounded by the deadline of
// the exchange it belongs to, which bytes arriving never move (a peer trickling its
// answer gets no more time than a silent one), and by the receive time-out in force,
// which Close shortens from any thread so that a running wait ends promptly.
class RtspConnection
{
public:
    // Largest header block read, and largest response kept; longer answers fail.
    static constexpr std::size_t kMaxHeaderSize = 64 * 1024;
    static constexpr std::size_t kMaxResponseSize = 256 * 1024;

    RtspConnection() = default;
    ~RtspConnection() { Close(); }
    RtspConnection(const RtspConnection&) = delete;
    RtspConnection& operator=(const RtspConnection&) = delete;

    // Connects within the connect time-out; on failure `failure` tells why.
    bool Connect(const RTSPSessionSettings& settings, std::string& failure);
    // Closes the socket; safe against a concurrent Send.
    void Close();
    bool IsOpen() const { return socket_ >= 0; }

    // The time a receive may wait from now; any thread may shorten it.
    void SetReceiveTimeout(std::uint32_t ms);
    std::uint32_t ReceiveTimeout() const { return receiveTimeoutMs_.load(); }
    // The end of an exchange that starts now.
    std::uint64_t ExchangeDeadline() const { return MonotonicMs() + receiveTimeoutMs_.load(); }

    // Writes all of `data` by `deadline` (and within the send time-out); any thread.
    bool Send(const char* data, std::size_t size, std::uint64_t deadline);
    // Waits at most `waitMs` for bytes and reads what is there: the byte count, 0 when
    // none came, -1 once the peer closed or the connection failed.
    long Read(void* buffer, std::size_t size, std::uint32_t waitMs);
    // One response read whole (header block, then the body its Content-Length
    // announces) by `deadline`, which a shortened receive time-out brings forward;
    // `giveUp` is asked between waits. False when nothing usable arrived.
    bool ReceiveResponse(std::string& response, std::uint64_t deadline, const std::function<bool()>& giveUp);

    // How long a wait ending at `deadline` may still take, the receive time-out in force
    // applied; 0 when it is over. Lowers `deadline` accordingly.
    std::uint32_t WaitLeft(std::uint64_t& deadline) const;

private:
    int socket_ = -1;
    std::mutex sendMutex_;  // frames are written whole; guards socket_ for senders on other threads
    std::uint32_t sendTimeoutMs_ = 1000;
    std::atomic<std::uint32_t> receiveTimeoutMs_{5000};
    std::uint32_t readWaitMs_ = 0;  // the socket's receive time-out, which Read sets (0: none)
};

}  // namespace velkora
