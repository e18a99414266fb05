#include "core/modules.hpp"

#include <boost/filesystem/path.hpp>
#include <gtest/gtest.h>

#include <locale>
#include <string>
#include <vector>

using namespace vexa;

namespace {

std::vector<std::string> moduleList()
{
    std::vector<std::string> entries;
    for (const ModuleRecord* r = firstModule(); r; r = r->next)
        entries.push_back(std::string(r->name) + "/" + r->version);
    return entries;
}

} // namespace

TEST(Modules, InitialisersRegisterNewestFirstAndOnlyOnce)
{
    initNetwork();
    initSystem();
    initUtility();
    const std::vector<std::string> expected = {"vexaUtility/981M", "vexaSystem/981",
                                               "vexaNetwork/981"};
    EXPECT_EQ(moduleList(), expected);
    // Registering a record that is already listed, wherever it stands, changes nothing.
    initSystem();
    initNetwork();
    initUtility();
    EXPECT_EQ(moduleList(), expected);

    static ModuleRecord extra = {"extra", "1", nullptr};
    const ModuleRecord* head = firstModule();
    EXPECT_EQ(&registerModule(extra), &extra);
    registerModule(extra);
    EXPECT_EQ(firstModule(), &extra);
    EXPECT_EQ(extra.next, head);
    EXPECT_EQ(moduleList().size(), 4u);
}

TEST(Modules, PathsConvertThroughUtf8AndTheGlobalLocaleStays)
{
    std::string before = std::locale().name();
    initNetwork(); // in the order main uses, so the list test holds in any test order
    initSystem();
    initUtility();
    EXPECT_EQ(boost::filesystem::path(L"caf\u00e9").string(), "caf\xc3\xa9");
    EXPECT_EQ(boost::filesystem::path("caf\xc3\xa9").wstring(), L"caf\u00e9");
    EXPECT_EQ(std::locale().name(), before);
}
