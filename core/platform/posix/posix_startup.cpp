#include "core/platform/startup.hpp"

#include <boost/filesystem/path.hpp>

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

namespace vexa {

void startNetwork()
{
    // BSD sockets need no start-up call. Writes avoid SIGPIPE per call (MSG_NOSIGNAL), but
    // sendfile() has no such flag: a client gone must not end the process. Nor must a console
    // whose reader has gone ('harnow | head'); its lines are then dropped. Main starts the
    // network before it writes a line.
    std::signal(SIGPIPE, SIG_IGN);
    // Each connection holds a descriptor, and a login shell's soft limit of 1024 would cap
    // the server near a thousand connections while the hard limit allows far more.
    rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void installPathLocale(const std::locale& locale)
{
    // The path library first builds the locale that the environment names, and only then takes
    // ours. One this machine lacks would abort the start; one that is no UTF-8 would load the C
    // library's conversion modules. With LC_ALL=C it builds the classic locale, from no file.
    // No other thread runs yet, so the environment may change for the one call.
    const char* value = std::getenv("LC_ALL");
    const bool wasSet = value != nullptr;
    const std::string previous = wasSet ? value : "";
    ::setenv("LC_ALL", "C", 1);
    auto restore = [&] { wasSet ? ::setenv("LC_ALL", previous.c_str(), 1) : ::unsetenv("LC_ALL"); };
    try {
        boost::filesystem::path::imbue(locale);
    } catch (...) {
        restore();
        throw;
    }
    restore();
}

} // namespace vexa
