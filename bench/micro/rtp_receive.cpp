// Receive and queue: bursts of RTP datagrams over loopback through the UDP thread's read,
// the parse, the queue and the order window, to the packet thread's user. The CPU time is the whole
// process's (sender, UDP thread, packet thread) per datagram.
//
// RTP_RECEIVE_BURSTS=N runs a fixed number of bursts instead (for instruction counts under
// callgrind: two runs with different N, the difference divided by the datagrams).
#include <benchmark/benchmark.h>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "rtp/CRTPPacket.h"
#include "rtp/CRTPReceiver.h"

namespace {

constexpr unsigned kBurst = 64;

// Counts packets and wakes the benchmark when the count reaches its target.
class CountingUser : public velkora::IRTPReceiverUser
{
public:
    void OnRTPPacket(const sockaddr_in&, const velkora::CRTPPacket& packet) override
    {
        benchmark::DoNotOptimize(packet.GetPayload());
        if (++count_ == target_.load()) {
            std::lock_guard lock(mutex_);
            reached_.notify_one();
        }
    }
    void OnRTPTimeout() override {}
    void OnRTPClosed() override {}

    bool WaitFor(uint64_t target)
    {
        target_.store(target);
        std::unique_lock lock(mutex_);
        return reached_.wait_for(lock, std::chrono::seconds(5), [&] { return count_.load() >= target; });
    }

private:
    std::atomic<uint64_t> count_{0};
    std::atomic<uint64_t> target_{0};
    std::mutex mutex_;
    std::condition_variable reached_;
};

void BM_ReceiveAndQueue(benchmark::State& state)
{
    const size_t payload = static_cast<size_t>(state.range(0));
    CountingUser user;
    velkora::CRTPReceiver receiver(nullptr);
    receiver.SetUser(&user);
    if (!receiver.Open(0)) {
        state.SkipWithError("cannot open the receiver");
        return;
    }
    const int camera = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{AF_INET, htons(receiver.GetPort()), {inet_addr("127.0.0.1")}, {}};
    connect(camera, reinterpret_cast<sockaddr*>(&to), sizeof to);

    // One burst of FU-A fragments with consecutive sequence numbers, sent in one call.
    std::vector<std::vector<uint8_t>> datagrams(kBurst);
    std::vector<iovec> vectors(kBurst);
    std::vector<mmsghdr> messages(kBurst);
    uint16_t sequence = 0;
    uint64_t delivered = 0;
    for (auto _ : state) {
        for (unsigned i = 0; i < kBurst; ++i, ++sequence) {
            std::vector<uint8_t>& d = datagrams[i];
            // The last of the burst ends an access unit (marker set).
            const uint8_t marker = i + 1 == kBurst ? 0x80 : 0;
            d.assign({0x80, uint8_t(0x60 | marker), uint8_t(sequence >> 8), uint8_t(sequence), 0, 0, 0, 0, 1, 2, 3, 4,
                      0x7c, 0x05});
            d.resize(12 + payload, 0x41);
            vectors[i] = {d.data(), d.size()};
            messages[i] = {};
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        for (unsigned sent = 0; sent < kBurst;) {
            const int n = sendmmsg(camera, messages.data() + sent, kBurst - sent, 0);
            if (n <= 0)
                break;
            sent += static_cast<unsigned>(n);
        }
        delivered += kBurst;
        if (!user.WaitFor(delivered)) {
            state.SkipWithError("datagrams lost on loopback");
            break;
        }
    }
    close(camera);
    receiver.Close();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kBurst);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBurst * static_cast<int64_t>(payload + 12));
}

}  // namespace

int main(int argc, char** argv)
{
    auto* benchmark = benchmark::RegisterBenchmark("BM_ReceiveAndQueue", BM_ReceiveAndQueue)
                          ->Arg(1400)
                          ->Arg(200)
                          ->MeasureProcessCPUTime()
                          ->UseRealTime();
    if (const char* bursts = std::getenv("RTP_RECEIVE_BURSTS"))
        benchmark->Iterations(std::atoll(bursts));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
