#pragma once
// Shared-ownership holder with a small signed reference count, used where an
// object must outlive a concurrent release (an exchange in progress holds its
// own copy of the HTTP sender while another thread resets the client).

#include <atomic>
#include <cstdint>
#include <new>
#include <utility>

namespace velkora {

template <typename T> class TSmartPtr
{
public:
    TSmartPtr() = default;

    // Takes ownership of `owned` (may be null).
    explicit TSmartPtr(T* owned)
    {
        if (owned != nullptr) {
            count = new (std::nothrow) std::atomic<int8_t>(1);
            if (count == nullptr)
                delete owned;
            else
                object = owned;
        }
    }

    TSmartPtr(const TSmartPtr& other) { CopyFrom(other); }
    TSmartPtr(TSmartPtr&& other) noexcept
        : count(std::exchange(other.count, nullptr)), object(std::exchange(other.object, nullptr))
    {
    }
    ~TSmartPtr() { Release(); }

    TSmartPtr& operator=(const TSmartPtr& other)
    {
        if (this != &other) {
            Release();
            CopyFrom(other);
        }
        return *this;
    }
    TSmartPtr& operator=(TSmartPtr&& other) noexcept
    {
        if (this != &other) {
            Release();
            count = std::exchange(other.count, nullptr);
            object = std::exchange(other.object, nullptr);
        }
        return *this;
    }

    void Release()
    {
        if (count != nullptr) {
            int8_t current = count->load();
            // Decrement only a positive count; the holder that reaches 0 deletes.
            while (current > 0 && !count->compare_exchange_weak(current, int8_t(current - 1))) {
            }
            if (current == 1) {
                delete object;
                delete count;
            }
        }
        count = nullptr;
        object = nullptr;
    }

    T* Get() const { return object; }
    T* operator->() const { return object; }
    T& operator*() const { return *object; }
    explicit operator bool() const { return object != nullptr; }

private:
    void CopyFrom(const TSmartPtr& other)
    {
        count = nullptr;
        object = nullptr;
        if (other.count == nullptr)
            return;
        int8_t current = other.count->load();
        // A full count (127) refuses further sharing instead of wrapping.
        while (current > 0 && current < INT8_MAX && !other.count->compare_exchange_weak(current, int8_t(current + 1))) {
        }
        if (current > 0 && current < INT8_MAX) {
            count = other.count;
            object = other.object;
        }
    }

    std::atomic<int8_t>* count = nullptr;
    T* object = nullptr;
};

}  // namespace velkora
