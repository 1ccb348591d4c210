// Keeps a bound HTTP server listening on a thread of its own until stopped.
// The HTTP library ends its accept loop, and closes the listening socket,
// when one accept fails for anything but a full descriptor table (on Windows
// for anything at all: a connection reset before it was taken, the handles
// running out), which would leave the door shut for good while the program
// goes on. The listener binds the same address and port again and goes on
// listening, with a line on err each time.
#pragma once

#include <condition_variable>
#include <iosfwd>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace zarn_host {

class Listener {
public:
    // server is bound to address:port (bindServer) and outlives the listener.
    Listener(httplib::Server& server, std::string address, int port, std::ostream& err);
    ~Listener();  // stop()
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    void start();
    // Ends the listening and waits for its thread; the server's open
    // connections are the server's to end.
    void stop();
    // How often the door was bound again.
    int reopened() const;

private:
    void run();
    bool rebind();

    httplib::Server& server_;
    const std::string address_;
    const int port_;
    std::ostream& err_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool ended_ = false;
    int reopened_ = 0;
    std::thread thread_;
};

}  // namespace zarn_host
