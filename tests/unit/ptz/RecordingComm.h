#pragma once
// A PTZ worker that records what would reach the device, and can hold the
// worker "inside the device" to let requests pile up.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "ptz/CBasePTZComm.h"
#include "unit/ptz/FakeDriver.h"

namespace velkora::testing {

inline CPtzCapabilities Caps(const char* text) {
  CPtzCapabilities caps;
  caps.FromString(text);
  return caps;
}

// Records what reaches the device; can hold the worker "inside the device".
class RecordingComm : public CBasePTZComm {
 public:
  static constexpr uint32_t kThrowingItem = 77;
  using CBasePTZComm::CBasePTZComm;
  ~RecordingComm() override { Close(); }

  void ProcessItem(CPTZItem* item) override {
    std::unique_lock<std::mutex> guard(lock);
    items.push_back(*item);
    changed.notify_all();
    changed.wait_for(guard, std::chrono::seconds(10), [this] { return !blocked; });
    if (item->type == kThrowingItem) throw std::runtime_error("device fault");
  }
  // Items of the stop sentinel mark "everything posted before is processed".
  std::vector<CPTZItem> Drain() {
    EXPECT_TRUE(StopIrisChanging(nullptr));
    return WaitFor([](const std::vector<CPTZItem>& seen) { return !seen.empty() && seen.back().action == 8; });
  }
  template <typename Pred>
  std::vector<CPTZItem> WaitFor(Pred pred) {
    std::unique_lock<std::mutex> guard(lock);
    EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(10), [&] { return pred(items); }));
    auto seen = items;
    items.clear();
    if (!seen.empty() && seen.back().action == 8) seen.pop_back();
    return seen;
  }
  void Block(bool value) {
    std::lock_guard<std::mutex> guard(lock);
    blocked = value;
    changed.notify_all();
  }
  bool PostRaw(uint32_t type) { return Post(new CPTZItem(type, 0, nullptr, 0), kMaxQueued); }
  const std::string& ThreadName() const { return name; }

 private:
  std::mutex lock;
  std::condition_variable changed;
  std::vector<CPTZItem> items;
  bool blocked = false;
};

}  // namespace velkora::testing
