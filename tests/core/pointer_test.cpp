#include "core/object.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using vexa::Object;
using vexa::Pointer;

namespace {

// Counts its own destructions, so a double delete or a leak shows.
struct Counted : Object
{
    explicit Counted(std::atomic<int>& destroyed) : m_destroyed(destroyed) {}
    ~Counted() override { ++m_destroyed; }
    std::atomic<int>& m_destroyed;
};

struct Derived : Counted
{
    using Counted::Counted;
};

} // namespace

TEST(Pointer, NullHandlesCopyAndDropQuietly)
{
    Pointer<Counted> empty;
    Pointer<Counted> copy = empty;
    Pointer<Object> base = copy;
    vexa::release(nullptr);
    EXPECT_FALSE(copy);
    EXPECT_EQ(base.get(), nullptr);
}

TEST(Pointer, ObjectLivesUntilTheLastCopyGoes)
{
    std::atomic<int> destroyed(0);
    Pointer<Counted> first(new Counted(destroyed));
    EXPECT_EQ(first->referenceCount(), 1);
    {
        Pointer<Counted> second = first;
        Pointer<Object> base = second; // a base handle shares the same count
        EXPECT_EQ(first->referenceCount(), 3);
        first = Pointer<Counted>(); // assignment drops the old reference
        first = first;              // self-assignment keeps nothing alive twice
        EXPECT_EQ(second->referenceCount(), 2);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(Pointer, DeletesThroughTheVirtualDestructorOfABaseHandle)
{
    std::atomic<int> destroyed(0);
    {
        Pointer<Object> base(Pointer<Derived>(new Derived(destroyed)));
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(Pointer, MovingToABaseHandleHandsTheReferenceOver)
{
    std::atomic<int> destroyed{0};
    Pointer<Derived> derived(new Derived(destroyed));
    Pointer<Object> base = std::move(derived);
    EXPECT_FALSE(derived);
    EXPECT_EQ(base->referenceCount(), 1);
    base.reset();
    EXPECT_EQ(destroyed, 1);
}

TEST(Pointer, CopiesDroppedAcrossThreadsDeleteExactlyOnce)
{
    const int threads = 8;
    const int rounds = 20000;
    for (int repeat = 0; repeat < 20; ++repeat) {
        std::atomic<int> destroyed(0);
        std::vector<std::thread> workers;
        {
            Pointer<Counted> shared(new Counted(destroyed));
            for (int t = 0; t < threads; ++t) {
                // Each thread owns a copy and churns more; any of them may drop the last one.
                workers.emplace_back([copy = shared]() {
                    for (int i = 0; i < rounds; ++i) {
                        Pointer<Object> churn = copy;
                        Pointer<Counted> again = copy;
                    }
                });
            }
        }
        for (std::thread& worker : workers)
            worker.join();
        ASSERT_EQ(destroyed, 1) << "round " << repeat;
    }
}
