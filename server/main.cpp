#include "core/console.hpp"
#include "core/exceptions.hpp"
#include "core/modules.hpp"
#include "core/socket.hpp"
#include "server/console.hpp"
#include "server/content_types.hpp"
#include "server/handler.hpp"

#include <boost/bind/bind.hpp>
#include <boost/filesystem/operations.hpp>
#include <boost/thread/thread.hpp>

#include <chrono>
#include <new>
#include <thread>

using namespace vexa;

namespace {

const std::size_t CONNECTION_STACK = 256 * 1024;

void backOff()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// Hands each connection to a detached thread of its own. Only a failure of the listening
// socket itself ends the loop; a failed accept or thread start costs one connection.
void acceptLoop(Socket& listener)
{
    for (;;) {
        Pointer<Socket> connection;
        try {
            connection = listener.accept();
        } catch (const NetworkException& e) {
            if (!listener.isListening())
                throw;
            printFailure("error in accept: ", e.what());
            // Out of descriptors or memory: give running connections a moment to finish.
            if (e.code != NetworkException::CONNECTION_ABORTED)
                backOff();
            continue;
        } catch (const std::bad_alloc& e) {
            // No memory for the connection's object: the socket is closed, wait as above.
            printFailure("error in accept: ", e.what());
            backOff();
            continue;
        }
        try {
            // A connection needs a few KiB of stack. Stacks of finished threads are reused
            // from a cache of 40 MiB: with the usual 8 MiB that is five of them, and every
            // other thread would map and unmap a stack of its own.
            boost::thread::attributes attributes;
            attributes.set_stack_size(CONNECTION_STACK);
            boost::thread thread(attributes,
                                 boost::bind(handleConnection, Pointer<IODevice>(connection)));
            thread.detach();
        } catch (const std::exception& e) {
            // The bound copy is gone with the failed thread; ours closes the socket below.
            printFailure("error starting a thread: ", e.what());
            backOff();
        }
    }
}

} // namespace

int main()
{
    initNetwork();
    initSystem();
    initUtility();
    prepareConsole();
    fillContentTypes();

    printLine("Harnow by https://harnow.example");
    printLine("");
    try {
        // A working directory that was removed cannot be served; say so instead of aborting.
        printLine("serving directory " + quotedPath(boost::filesystem::current_path()));
        Pointer<Socket> listener = createSocket(Socket::TCP, 0);
        std::string address = "http://localhost";
        try {
            listener->bind(80);
        } catch (const NetworkException& e) {
            printLine(std::string("not able to act as a server on port 80: ") + e.what());
            printLine("trying port 8080");
            listener->bind(8080);
            address += ":8080";
        }
        // The address is announced only once a browser can connect to it.
        listener->listen(5);
        printLine("now open a browser and go to " + address);
        acceptLoop(*listener);
    } catch (const std::exception& e) {
        printFailure("error in main: ", e.what());
    }
    // Reaching here is always a failure; a service manager must see it as one.
    return 1;
}
