#pragma once
// A PTZ worker that records what would reach the device, and can hold the
// worker "inside the device" so that requests pile up.

#include <gtest/gtest.h>

#include <stdexcept>

#include "ptz/CBasePTZComm.h"
#include "unit/ptz/FakeDriver.h"

namespace velkora::testing {

inline CPtzCapabilities Caps(const char* text) {
  CPtzCapabilities caps;
  caps.FromString(text);
  return caps;
}

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
  // Takes the items processed once `count` arrived; count 0 posts a sentinel
  // stop (action 8) and takes everything before it.
  std::vector<CPTZItem> Take(size_t count = 0) {
    if (count == 0) {
      EXPECT_TRUE(StopIrisChanging(nullptr));
    }
    std::unique_lock<std::mutex> guard(lock);
    EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(10), [&] {
      return count ? items.size() >= count : !items.empty() && items.back().action == 8;
    }));
    std::vector<CPTZItem> seen;
    seen.swap(items);
    if (count == 0) seen.pop_back();
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
