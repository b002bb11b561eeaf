#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace velkora {

// Sliding-window sum of the last `window` samples.
template <typename T>
class TStatisticsHelper {
public:
    explicit TStatisticsHelper(uint32_t window) : window_(window) {}
    virtual ~TStatisticsHelper() = default;

    void Add(T value) {
        while (!samples_.empty() && window_ <= samples_.size()) {
            sum_ -= static_cast<double>(samples_.front());
            samples_.pop_front();
        }
        sum_ += static_cast<double>(value);
        samples_.push_back(value);
    }

    void Clear() {
        samples_.clear();
        sum_ = 0.0;
    }

    size_t GetCount() const { return samples_.size(); }
    double GetSum() const { return sum_; }
    double GetMean() const { return samples_.empty() ? 0.0 : sum_ / static_cast<double>(samples_.size()); }

private:
    std::deque<T> samples_;
    double sum_ = 0.0;
    uint32_t window_;
};

}  // namespace velkora
