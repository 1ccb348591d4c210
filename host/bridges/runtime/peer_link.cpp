#include "bridges/runtime/peer_link.h"

#include "bridges/runtime/limits.h"
#include "bridges/runtime/socket_options.h"

namespace zarn_host::bridges {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

const char* linkEndText(LinkEnd end) {
    switch (end) {
        case LinkEnd::local:
            return "closed";
        case LinkEnd::peer_closed:
            return "closed by the peer";
        case LinkEnd::failed:
            return "connection failed";
        case LinkEnd::not_reading:
            return "does not read";
        case LinkEnd::silent:
            return "answered no keep-alive request";
        case LinkEnd::evicted:
            return "silent longest when the listener was full";
    }
    return "closed";
}

void tuneSocket(tcp::socket& socket) {
    asio::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    setKeepAlive(static_cast<NativeSocket>(socket.native_handle()), limits::kTcpKeepAliveIdleS,
                 limits::kTcpKeepAliveIntervalS, limits::kTcpKeepAliveProbes);
}

PeerLink::PeerLink(tcp::socket socket, std::size_t maxWaiting)
    : socket_(std::move(socket)), maxWaiting_(maxWaiting), lastHeard_(Clock::now()), watch_(socket_.get_executor()) {
    asio::error_code ec;
    auto remote = socket_.remote_endpoint(ec);
    if (ec) {
        peer_ = "?";
    } else {
        address_ = remote.address();
        peer_ = address_.to_string() + ":" + std::to_string(remote.port());
    }
}

void PeerLink::start(OnData onData, OnClosed onClosed) {
    onData_ = std::move(onData);
    onClosed_ = std::move(onClosed);
    lastHeard_ = Clock::now();
    read();
    armWatch();
}

void PeerLink::watchSilence(std::chrono::milliseconds silence, Bytes probe) {
    silence_ = silence;
    probe_ = std::move(probe);
}

void PeerLink::armWatch() {
    if (silence_.count() <= 0 || closed_) return;
    auto self = shared_from_this();
    watch_.expires_at(lastHeard_ + silence_);
    watch_.async_wait([this, self](const asio::error_code& ec) {
        if (ec || closed_) return;
        if (Clock::now() < lastHeard_ + silence_) {
            armWatch();  // the peer spoke meanwhile
            return;
        }
        if (probed_) {
            close(LinkEnd::silent);
            return;
        }
        probed_ = true;
        send(probe_);
        watch_.expires_after(silence_);
        watch_.async_wait([this, self](const asio::error_code& again) {
            if (again || closed_) return;
            if (probed_) {
                close(LinkEnd::silent);
            } else {
                armWatch();
            }
        });
    });
}

void PeerLink::read() {
    if (closed_ || reading_) return;
    reading_ = true;
    auto self = shared_from_this();
    socket_.async_read_some(asio::buffer(buffer_), [this, self](const asio::error_code& ec, std::size_t n) {
        reading_ = false;
        if (closed_) return;
        if (ec) {
            if (ec == asio::error::eof) {
                close(LinkEnd::peer_closed);
            } else {
                close(LinkEnd::failed, ec.message());
            }
            return;
        }
        lastHeard_ = Clock::now();
        probed_ = false;
        holding_ = true;
        onData_(buffer_.data(), n);
        holding_ = false;
        if (closed_) return;
        flush();
        read();
    });
}

bool PeerLink::send(Bytes bytes) {
    if (closed_) return false;
    if (bytes.empty()) return true;
    if (waiting_ + bytes.size() > maxWaiting_) {
        close(LinkEnd::not_reading);
        return false;
    }
    waiting_ += bytes.size();
    out_.push_back(std::move(bytes));
    if (!holding_) flush();
    return true;
}

// Everything waiting goes out in one write (one segment when it fits). One
// write at a time: two writes in flight on a socket may interleave.
void PeerLink::flush() {
    if (closed_ || writing_ > 0 || out_.empty()) return;
    std::vector<asio::const_buffer> buffers;
    for (std::size_t i = 0; i < out_.size() && i < 512; ++i) buffers.push_back(asio::buffer(out_[i]));
    writing_ = buffers.size();
    auto self = shared_from_this();
    asio::async_write(socket_, buffers, [this, self](const asio::error_code& ec, std::size_t) {
        if (closed_) return;
        if (ec) {
            close(LinkEnd::failed, ec.message());
            return;
        }
        for (; writing_ > 0; --writing_) {
            waiting_ -= out_.front().size();
            out_.pop_front();
        }
        flush();
    });
}

void PeerLink::close(LinkEnd end, const std::string& detail) {
    if (closed_) return;
    closed_ = true;
    end_ = end;
    asio::error_code ignored;
    socket_.close(ignored);
    watch_.cancel();
    auto self = shared_from_this();  // the callbacks may drop the owner's hold
    OnClosed onClosed = std::move(onClosed_);
    onData_ = nullptr;
    if (end != LinkEnd::local && onClosed) onClosed(end, detail);
    if (auto detach = std::move(detach_)) detach();
}

}  // namespace zarn_host::bridges
