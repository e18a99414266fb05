#include "core/exceptions.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vexa;

namespace {

// The text a handler that only knows std::exception would print.
template <class E> std::string textThroughBase(int32_t code)
{
    try {
        throw E(code);
    } catch (const std::exception& e) {
        return e.what();
    }
}

template <class E> std::vector<std::string> allTexts(int32_t count)
{
    std::vector<std::string> texts;
    for (int32_t code = 0; code < count; ++code)
        texts.push_back(textThroughBase<E>(code));
    return texts;
}

} // namespace

TEST(Exceptions, EachClassHasItsOwnFixedTable)
{
    EXPECT_EQ(allTexts<NetworkException>(10),
              (std::vector<std::string>{"network error", "unknown host", "access denied",
                                        "address in use", "unreachable", "connection refused",
                                        "connection aborted", "connection closed by peer",
                                        "shutdown", "closed"}));
    EXPECT_EQ(allTexts<FileException>(7),
              (std::vector<std::string>{"input/output error", "file not found", "access denied",
                                        "invalid handle", "disk full", "seek error", "closed"}));
    EXPECT_EQ(allTexts<DataException>(5),
              (std::vector<std::string>{"unknown format", "format not supported", "unknown version",
                                        "data corrupt", "unexpected end of file"}));
    EXPECT_EQ(NetworkException::CLOSED, 9);
    EXPECT_EQ(FileException::CLOSED, 6);
    EXPECT_EQ(DataException::UNEXPECTED_END_OF_FILE, 4);
}
