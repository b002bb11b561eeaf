#pragma once
// Events on mutex and condition variable. A manual-reset event stays
// signalled until Reset; an auto-reset event is consumed by the one wait
// that reports it.

#include <cstdint>
#include <initializer_list>
#include <memory>

namespace velkora {

// Time-out meaning "wait without limit".
constexpr uint32_t WaitInfinite = 0xFFFFFFFFu;

struct EventState;

class CEvent
{
public:
    CEvent();
    virtual ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    // Creates (or recreates) the event, non-signalled unless asked.
    bool Create(bool manualReset, bool initiallySet = false);
    void Close();
    bool IsCreated() const { return state_ != nullptr; }

    // True when the wait ends with the event signalled; false on time-out
    // or without an event.
    bool Wait(uint32_t timeoutMs);
    bool Set();
    bool Reset();
    // Signalled right now, without consuming an auto-reset event.
    bool IsSet() const;

private:
    friend int WaitForAnyEvent(CEvent* const* events, uint32_t count, uint32_t timeoutMs);
    std::unique_ptr<EventState> state_;
};

// Manual-reset, created non-signalled with its owner.
class CManualEvent : public CEvent
{
public:
    CManualEvent() { Create(true); }
};

// Auto-reset, created non-signalled with its owner.
class CAutoEvent : public CEvent
{
public:
    CAutoEvent() { Create(false); }
};

// Index of the first signalled event, -1 on time-out, on a count of 0 or
// when an event was never created.
int WaitForAnyEvent(CEvent* const* events, uint32_t count, uint32_t timeoutMs);
int WaitForAnyEvent(std::initializer_list<CEvent*> events, uint32_t timeoutMs);

}  // namespace velkora
