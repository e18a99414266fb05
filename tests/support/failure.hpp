#pragma once

#include <cstdint>

namespace harnow_test {

// The code of the exception of class E that f raises, or -1 when f returns.
template <class E, class F> int32_t failureCode(F f)
{
    try {
        f();
    } catch (const E& e) {
        return e.code;
    }
    return -1;
}

} // namespace harnow_test
