#include "core/exceptions.hpp"

namespace vexa {

namespace {

template <int32_t N> const char* lookup(const char* const (&table)[N], int32_t code)
{
    return code >= 0 && code < N ? table[code] : table[0];
}

} // namespace

const char* NetworkException::what() const noexcept
{
    static const char* const messages[] = {
        "network error",      "unknown host",
        "access denied",      "address in use",
        "unreachable",        "connection refused",
        "connection aborted", "connection closed by peer",
        "shutdown",           "closed",
    };
    return lookup(messages, code);
}

const char* FileException::what() const noexcept
{
    static const char* const messages[] = {
        "input/output error", "file not found", "access denied", "invalid handle",
        "disk full",          "seek error",     "closed",
    };
    return lookup(messages, code);
}

const char* DataException::what() const noexcept
{
    static const char* const messages[] = {
        "unknown format", "format not supported",   "unknown version",
        "data corrupt",   "unexpected end of file",
    };
    return lookup(messages, code);
}

} // namespace vexa
