#include "server/accept_loop.hpp"

#include "core/exceptions.hpp"
#include "server/console_writer.hpp"
#include "server/handler.hpp"

#include <boost/bind/bind.hpp>
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

} // namespace

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
