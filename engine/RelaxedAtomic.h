#pragma once

#include <atomic>

/** A value shared between threads where a recent value is all a reader needs.

    Every load and store uses std::memory_order_relaxed, so on x86-64 they compile
    to plain moves; the wrapper only makes the sharing well defined.
*/
template <typename T>
class RelaxedAtomic
{
public:
    RelaxedAtomic() noexcept
        : value (T {})
    {
    }
    RelaxedAtomic (T initial) noexcept
        : value (initial)
    {
    }

    RelaxedAtomic (const RelaxedAtomic&) = delete;
    RelaxedAtomic& operator= (const RelaxedAtomic&) = delete;

    T get() const noexcept { return value.load (std::memory_order_relaxed); }
    void set (T newValue) noexcept { value.store (newValue, std::memory_order_relaxed); }

    operator T() const noexcept { return get(); }
    RelaxedAtomic& operator= (T newValue) noexcept
    {
        set (newValue);
        return *this;
    }

private:
    std::atomic<T> value;

    static_assert (std::atomic<T>::is_always_lock_free, "RelaxedAtomic must be lock-free");
};
