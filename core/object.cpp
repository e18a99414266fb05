#include "core/object.hpp"

namespace vexa {

void release(Object* object)
{
    // Only the thread whose decrement reaches zero may delete; fetch_sub is fully ordered.
    if (object && object->m_refCount.fetch_sub(1) == 1)
        delete object;
}

} // namespace vexa
