#include "server/accept_loop.hpp"

#include "core/exceptions.hpp"
#include "core/stop_requests.hpp"
#include "server/console_writer.hpp"
#include "server/handler.hpp"
#include "server/limited_socket.hpp"

#include <boost/bind/bind.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <chrono>
#include <new>
#include <string>
#include <thread>

using namespace vexa;

namespace {

const std::size_t CONNECTION_STACK = 256 * 1024;
const std::size_t STOP_STACK = 64 * 1024;
// Long enough for a page or a picture in flight; a video streaming for an hour is reset, and
// the browser asks again with a range.
const std::chrono::milliseconds REPLIES_WAIT(2000);

std::atomic<bool> stopping(false);
// Connections whose thread is not done yet. One counts from before accept() returns it, so a
// stop never misses one that is accepted meanwhile.
std::atomic<int32_t> liveConnections(0);

void backOff()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

void serveCounted(Pointer<IODevice> connection)
{
    handleConnection(connection);
    --liveConnections;
}

void stopInOrder(Pointer<Socket> listener)
{
    int32_t request = waitForStopRequest();
    stopping = true;
    listener->stopListening();
    auto deadline = std::chrono::steady_clock::now() + REPLIES_WAIT;
    while (liveConnections > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // The end of the process resets them: the console must not leave them looking sent.
    int32_t cut = repliesUnderWay();
    if (cut > 0) {
        try {
            printLine("error: replies cut short by the stop: " + std::to_string(cut));
        } catch (const std::bad_alloc&) {
            // The stop goes on without the line.
        }
    }
    flushConsole(LAST_LINES_WAIT_MILLIS);
    endAsRequested(request);
}

} // namespace

void acceptLoop(Socket& listener)
{
    for (;;) {
        Pointer<Socket> connection;
        ++liveConnections;
        try {
            connection = listener.accept();
        } catch (const NetworkException& e) {
            --liveConnections;
            // The thread that stopped the listener ends the process.
            while (stopping)
                std::this_thread::sleep_for(std::chrono::hours(1));
            if (!listener.isListening())
                throw;
            printFailure("error in accept: ", e.what());
            // Out of descriptors or memory: give running connections a moment to finish.
            if (e.code != NetworkException::CONNECTION_ABORTED)
                backOff();
            continue;
        } catch (const std::bad_alloc& e) {
            --liveConnections;
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
                                 boost::bind(serveCounted, Pointer<IODevice>(connection)));
            thread.detach();
        } catch (const std::exception& e) {
            // The bound copy is gone with the failed thread; ours resets the connection below,
            // and the next one is taken at once: a pause would only queue up the refusals.
            --liveConnections;
            printFailure("error starting a thread: ", e.what());
        }
    }
}

void stopOnRequest(Pointer<Socket> listener)
{
    boost::thread::attributes attributes;
    attributes.set_stack_size(STOP_STACK);
    boost::thread(attributes, boost::bind(stopInOrder, listener)).detach();
}
