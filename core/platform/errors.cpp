#include "core/platform/errors.hpp"

#include "core/exceptions.hpp"
#include "core/file.hpp"

namespace vexa {

void throwNetworkError(int error)
{
    int32_t code = networkErrorCode(error);
    if (code != NO_FAILURE)
        throw NetworkException(code);
}

void throwFileError(int error)
{
    int32_t code = fileErrorCode(error);
    if (code != NO_FAILURE)
        throw FileException(code);
}

void throwPathError(int error)
{
    throwFileError(error);
    throw FileException(FileException::IO_ERROR);
}

void throwLastNetworkError()
{
    throwNetworkError(lastNetworkError());
}

void throwLastFileError()
{
    throwFileError(lastFileError());
}

} // namespace vexa
