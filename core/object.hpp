#pragma once

#include <atomic>
#include <cstdint>

namespace vexa {

class Object;
void release(Object* object);

// The root of every library device. The count lives in the object so a handle is one pointer.
class Object
{
public:
    Object() : m_refCount(0) {}
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() {}

    void acquire() { m_refCount.fetch_add(1); }
    int32_t referenceCount() const { return m_refCount.load(); }

private:
    friend void release(Object* object);
    std::atomic<int32_t> m_refCount;
};

// A counting handle. Null handles are allowed and cost nothing to copy or drop.
template <class T> class Pointer
{
public:
    Pointer() : m_object(nullptr) {}
    explicit Pointer(T* object) : m_object(object) { grab(); }
    Pointer(const Pointer& other) : m_object(other.m_object) { grab(); }
    Pointer(Pointer&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    template <class U> Pointer(const Pointer<U>& other) : m_object(other.get()) { grab(); }
    // Moving a handle to a base handle hands the reference over instead of taking another.
    template <class U> Pointer(Pointer<U>&& other) noexcept : m_object(other.m_object)
    {
        other.m_object = nullptr;
    }
    ~Pointer() { release(m_object); }

    Pointer& operator=(Pointer other) noexcept
    {
        T* old = m_object;
        m_object = other.m_object;
        other.m_object = old;
        return *this;
    }

    void reset() { *this = Pointer(); }
    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    template <class U> friend class Pointer;

    void grab()
    {
        if (m_object)
            m_object->acquire();
    }

    T* m_object;
};

} // namespace vexa
