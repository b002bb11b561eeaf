#pragma once
// Shared-ownership holder with a small signed reference count, used where an
// object must outlive a concurrent release (an exchange in progress holds its
// own copy of the HTTP sender while another thread resets the client).

#include <atomic>
#include <cstdint>
#include <new>
#include <utility>

namespace velkora {

template <typename T>
class TSmartPtr
{
public:
    TSmartPtr() = default;

    // Takes ownership of `object` (may be null).
    explicit TSmartPtr(T* object)
    {
        if (object != nullptr)
        {
            m_count = new (std::nothrow) std::atomic<int8_t>(1);
            if (m_count == nullptr)
                delete object;
            else
                m_object = object;
        }
    }

    TSmartPtr(const TSmartPtr& other) { CopyFrom(other); }
    TSmartPtr(TSmartPtr&& other) noexcept
        : m_count(std::exchange(other.m_count, nullptr)), m_object(std::exchange(other.m_object, nullptr))
    {
    }
    ~TSmartPtr() { Release(); }

    TSmartPtr& operator=(const TSmartPtr& other)
    {
        if (this != &other)
        {
            Release();
            CopyFrom(other);
        }
        return *this;
    }
    TSmartPtr& operator=(TSmartPtr&& other) noexcept
    {
        if (this != &other)
        {
            Release();
            m_count = std::exchange(other.m_count, nullptr);
            m_object = std::exchange(other.m_object, nullptr);
        }
        return *this;
    }

    void Release()
    {
        if (m_count != nullptr)
        {
            int8_t current = m_count->load();
            // Decrement only a positive count; the holder that reaches 0 deletes.
            while (current > 0 && !m_count->compare_exchange_weak(current, int8_t(current - 1)))
            {
            }
            if (current == 1)
            {
                delete m_object;
                delete m_count;
            }
        }
        m_count = nullptr;
        m_object = nullptr;
    }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    void CopyFrom(const TSmartPtr& other)
    {
        m_count = nullptr;
        m_object = nullptr;
        if (other.m_count == nullptr)
            return;
        int8_t current = other.m_count->load();
        // A full count (127) refuses further sharing instead of wrapping.
        while (current > 0 && current < INT8_MAX &&
               !other.m_count->compare_exchange_weak(current, int8_t(current + 1)))
        {
        }
        if (current > 0 && current < INT8_MAX)
        {
            m_count = other.m_count;
            m_object = other.m_object;
        }
    }

    std::atomic<int8_t>* m_count = nullptr;
    T* m_object = nullptr;
};

} // namespace velkora
