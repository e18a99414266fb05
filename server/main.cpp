#include "core/console_output.hpp"
#include "core/exceptions.hpp"
#include "core/modules.hpp"
#include "core/socket.hpp"
#include "core/stop_requests.hpp"
#include "server/accept_loop.hpp"
#include "server/console_lines.hpp"
#include "server/console_writer.hpp"
#include "server/content_types.hpp"

#include <boost/filesystem/operations.hpp>

using namespace vexa;

int main()
{
    // Before any thread starts, so that every thread inherits it.
    holdStopRequests();
    // Before anything takes a descriptor, and so that a failed start can say why.
    prepareConsole();
    try {
        initNetwork();
        initSystem();
        initUtility();
        fillContentTypes();
        startConsoleWriter();
        printLine("Harnow by https://harnow.example");
        printLine("");
        // A working directory that was removed cannot be served; say so instead of aborting.
        printLine("serving directory " + quotedPath(boost::filesystem::current_path()));
        // 'localhost' is ::1 as well, and many clients try it first: a port held there by
        // another program must not be announced as ours.
        Pointer<Socket> listener = createSocket(Socket::TCP, Socket::BOTH_FAMILIES);
        std::string port;
        try {
            listener->bind(80);
        } catch (const NetworkException& e) {
            printLine(std::string("not able to act as a server on port 80: ") + e.what());
            printLine("trying port 8080");
            listener->bind(8080);
            port = ":8080";
        }
        // Every connection is born resetting, as its listener does: a process that ends
        // anywhere, inside accept() too, never ends a reply cleanly (see LimitedSocket).
        listener->setResetOnClose(true);
        // And born with little room for a file unsent: enough to keep a fast client busy
        // between two wake-ups of its thread, little for many that read slowly or not at all.
        listener->setUnsentLimit(256 * 1024);
        // The address is announced only once a browser can connect to it. A burst of
        // connections must not wait for SYNs resent after a second: the largest backlog.
        listener->listen(Socket::MAX_BACKLOG);
        printLine("now open a browser and go to http://localhost" + port);
        // For the person at the terminal: which address the phone needs. A pipe, a log or a
        // journal gets the lines it always got.
        if (consoleIsTerminal()) {
            for (const std::string& address : localNetworkAddresses())
                printLine("or from another device: http://" + address + port);
        }
        stopOnRequest(listener);
        acceptLoop(*listener);
    } catch (const std::exception& e) {
        printFailure("error in main: ", e.what());
    }
    // A console window opened for this program alone closes with it: let its user read why.
    if (ownsConsoleAlone()) {
        printLine("press Enter to close");
        flushConsole(LAST_LINES_WAIT_MILLIS);
        waitForEnter();
    }
    flushConsole(LAST_LINES_WAIT_MILLIS);
    // Reaching here is always a failure; a service manager must see it as one.
    return 1;
}
