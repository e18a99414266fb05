#pragma once

#include "core/exceptions.hpp"

#include <atomic>

namespace vexa {

// One platform handle owned by a device: a descriptor on POSIX, a SOCKET or a HANDLE on
// Windows. Traits gives the handle type, invalid() (its closed value), the exception class,
// release() (0 or the platform's error number) and raise() (an error number to its exception).
// The handle is read and given up atomically: a listener may be closed by one thread while
// another is blocked in accept() on it.
template <class Traits> class OwnedHandle
{
public:
    using Handle = typename Traits::Handle;
    using Exception = typename Traits::Exception;

    explicit OwnedHandle(Handle handle) : m_handle(handle) {}
    ~OwnedHandle()
    {
        if (isOpen())
            Traits::release(get());
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    // A new device that owns the handle; out of memory the handle is released, not lost.
    template <class Device, class... Args> static Device* adopt(Handle handle, Args... args)
    {
        try {
            return new Device(handle, args...);
        } catch (...) {
            Traits::release(handle);
            throw;
        }
    }

    // The closed value, which the system's calls that make a handle also return on failure.
    static Handle invalid() { return Traits::invalid(); }
    bool isOpen() const { return get() != Traits::invalid(); }
    Handle get() const { return m_handle.load(std::memory_order_relaxed); }

    // The closed-device rule: a call that failed on a closed handle raises CLOSED, else the
    // error number raises its mapped code. 0 raises nothing and the caller carries on.
    void check(int error) const
    {
        if (!isOpen())
            throw Exception(Exception::CLOSED);
        Traits::raise(error);
    }

    // For calls whose failure always comes with an error number; without one it is code 0.
    [[noreturn]] void fail(int error) const
    {
        check(error);
        throw Exception(0);
    }

    // Takes another handle in place of this one, which is released.
    void replace(Handle handle)
    {
        Handle old = m_handle.exchange(handle, std::memory_order_relaxed);
        if (old != Traits::invalid())
            Traits::release(old);
    }

    // The handle is given up before it is released, so it is never released twice: Linux
    // frees a descriptor even when close() reports an error, and a number may be reused.
    void close()
    {
        Handle handle = m_handle.exchange(Traits::invalid(), std::memory_order_relaxed);
        if (handle == Traits::invalid())
            fail(0);
        Traits::raise(Traits::release(handle));
    }

private:
    std::atomic<Handle> m_handle;
};

} // namespace vexa
