#pragma once

#include "core/platform/errors.hpp"
#include "core/platform/owned_handle.hpp"

namespace vexa {

// Closes a descriptor: 0, or the error number. An interrupted close has still freed it.
int closeDescriptor(int descriptor);

template <class E, void (*RAISE)(int)> struct DescriptorTraits
{
    using Handle = int;
    using Exception = E;
    static int invalid() { return -1; }
    static int release(int descriptor) { return closeDescriptor(descriptor); }
    static void raise(int error) { RAISE(error); }
};

using OwnedFile = OwnedHandle<DescriptorTraits<FileException, throwFileError>>;
using OwnedSocket = OwnedHandle<DescriptorTraits<NetworkException, throwNetworkError>>;

} // namespace vexa
