// WebFront::answer: the server's answers to request bytes held in memory, for
// tests and the HTTP API fuzzer, through the same guard, routes and error
// answers as a socket's.
#include <httplib.h>

#include <algorithm>
#include <cctype>

#include "web/page_server/web_front_impl.h"

namespace zarn_host {
namespace {

// A connection held in memory: reads the request bytes, keeps the answer.
// An event stream's writes fail after its headers, as when the page goes
// away, so its provider ends.
class MemoryStream : public httplib::Stream {
public:
    explicit MemoryStream(const std::string& in) : in_(in) {}
    bool is_readable() const override { return position_ < in_.size(); }
    bool is_writable() const override { return !streamStarted_; }
    ssize_t read(char* ptr, std::size_t size) override {
        std::size_t n = std::min(size, in_.size() - position_);
        in_.copy(ptr, n, position_);
        position_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, std::size_t size) override {
        if (streamStarted_) return -1;
        out_.append(ptr, size);
        std::size_t end = out_.find("\r\n\r\n");
        if (end != std::string::npos && out_.rfind("HTTP/1.1 100", 0) != 0) {
            std::string head = out_.substr(0, end);
            std::transform(head.begin(), head.end(), head.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            streamStarted_ = head.find("transfer-encoding: chunked") != std::string::npos;
        }
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    bool exhausted() const { return position_ >= in_.size(); }
    std::string takeOutput() {
        std::string out;
        out.swap(out_);
        streamStarted_ = false;
        return out;
    }

private:
    const std::string& in_;
    std::size_t position_ = 0;
    std::string out_;
    bool streamStarted_ = false;
};

}  // namespace

std::vector<std::string> WebFront::answer(const std::string& request, std::size_t maxRequests) {
    std::vector<std::string> answers;
    MemoryStream stream(request);
    for (std::size_t i = 0; i < maxRequests && !stream.exhausted(); ++i) {
        bool closed = false;
        bool ok = impl_->server.process_request(stream, i + 1 == maxRequests, closed, [](httplib::Request&) {});
        answers.push_back(stream.takeOutput());
        if (!ok || closed) break;
    }
    return answers;
}

}  // namespace zarn_host
