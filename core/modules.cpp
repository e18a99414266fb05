#include "core/modules.hpp"

#include "core/platform/startup.hpp"

#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>

#include <locale>

namespace vexa {

namespace {

ModuleRecord* moduleList = nullptr;

ModuleRecord networkModule = {"vexaNetwork", "981", nullptr};
ModuleRecord systemModule = {"vexaSystem", "981", nullptr};
ModuleRecord utilityModule = {"vexaUtility", "981M", nullptr};

} // namespace

ModuleRecord& registerModule(ModuleRecord& record)
{
    for (ModuleRecord* r = moduleList; r; r = r->next) {
        if (r == &record)
            return record;
    }
    record.next = moduleList;
    moduleList = &record;
    return record;
}

const ModuleRecord* firstModule()
{
    return moduleList;
}

void initNetwork()
{
    registerModule(networkModule);
    startNetwork();
}

void initSystem()
{
    registerModule(systemModule);
    // Paths convert to and from wide text as UTF-8; the global locale stays as it is.
    std::locale utf8(std::locale(), new boost::filesystem::detail::utf8_codecvt_facet(0));
    installPathLocale(utf8);
}

void initUtility()
{
    registerModule(utilityModule);
}

} // namespace vexa
