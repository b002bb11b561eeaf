#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velkora {

// Sliding-window sum of the last `window` samples. The window's storage is taken once, so
// adding a sample (once per frame) never allocates.
template <typename T> class TStatisticsHelper
{
public:
    explicit TStatisticsHelper(uint32_t window) : samples_(window > 0 ? window : 1), window_(window) {}
    virtual ~TStatisticsHelper() = default;

    void Add(T value)
    {
        if (window_ == 0) {  // nothing is kept: the sum and count stay those of the value alone
            sum_ = static_cast<double>(value);
            count_ = 1;
            return;
        }
        if (count_ == window_) {
            sum_ -= static_cast<double>(samples_[first_]);
            first_ = (first_ + 1) % window_;
            --count_;
        }
        samples_[(first_ + count_) % window_] = value;
        ++count_;
        sum_ += static_cast<double>(value);
    }

    void Clear()
    {
        first_ = 0;
        count_ = 0;
        sum_ = 0.0;
    }

    size_t GetCount() const { return count_; }
    double GetSum() const { return sum_; }
    double GetMean() const { return count_ == 0 ? 0.0 : sum_ / static_cast<double>(count_); }

private:
    std::vector<T> samples_;
    double sum_ = 0.0;
    uint32_t window_;
    size_t first_ = 0;
    size_t count_ = 0;
};

}  // namespace velkora
