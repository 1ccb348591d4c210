#include "bridges/runtime/reconnecting_client.h"

#include <algorithm>

#include "bridges/runtime/runtime.h"
#include "sim/sim_host.h"

namespace zarn_host::bridges {

using asio::ip::tcp;

int Backoff::next() {
    int wait = nextMs_;
    nextMs_ = std::min(nextMs_ * 2, timing_.mostBackoffMs);
    return wait;
}

ReconnectingClient::ReconnectingClient(Runtime& rt, Endpoint at, ClientOptions options, ClientTiming timing)
    : at(std::move(at)),
      options(std::move(options)),
      rt_(rt),
      timing_(timing),
      backoff_(timing),
      resolver_(rt.io()),
      socket_(rt.io()),
      timer_(rt.io()),
      settleTimer_(rt.io()) {
    if (this->options.awaited) rt.expectFirstConnect();
}

std::string ReconnectingClient::statusText() const {
    const ClientState s = state;
    return (s == ClientState::connected    ? "connected to "
            : s == ClientState::connecting ? "connecting to "
                                           : "reconnecting to ") +
           at.text();
}

void ReconnectingClient::start(Events events) {
    events_ = std::move(events);
    connect();
}

void ReconnectingClient::settle() {
    if (settled_) return;
    settled_ = true;
    if (options.awaited) rt_.firstSettled();
}

void ReconnectingClient::connect() {
    if (closed_) return;
    resolver_.async_resolve(
        at.host, std::to_string(at.port), [this](const asio::error_code& ec, tcp::resolver::results_type found) {
            if (closed_ || ec == asio::error::operation_aborted) return;
            if (ec) {
                lost("cannot resolve " + at.host);
                return;
            }
            asio::async_connect(socket_, found, [this](const asio::error_code& error, const tcp::endpoint&) {
                if (closed_ || error == asio::error::operation_aborted) return;
                if (error) {
                    lost(error.message());
                    return;
                }
                tuneSocket(socket_);
                link_ = std::make_shared<PeerLink>(std::move(socket_), options.maxWaiting);
                socket_ = tcp::socket(rt_.io());
                if (options.silenceMs > 0)
                    link_->watchSilence(std::chrono::milliseconds(options.silenceMs), options.probe);
                state = ClientState::connected;
                backoff_.reset();
                const int32_t device = options.device;
                rt_.trace(options.what + " " + at.text() + ": connected to the " + options.peer +
                          (device ? " of device " + std::to_string(device) : std::string()));
                if (device) {
                    const std::string why = " (" + options.peer + " connected)";
                    rt_.toHost([device, why](SimHost& host, bool& changed) {
                        if (!host.facility().online(device)) {
                            host.setOnline(device, true);
                            host.trace().line(TraceKind::step, "online " + std::to_string(device) + why);
                            changed = true;
                        }
                    });
                }
                link_->start([this](const uint8_t* data, std::size_t n) { events_.data(data, n); },
                             [this](LinkEnd end, const std::string& detail) {
                                 lost(end == LinkEnd::peer_closed ? "closed by the " + options.peer
                                      : detail.empty()            ? std::string(linkEndText(end))
                                                                  : detail);
                             });
                if (events_.connected) events_.connected();
                if (!settled_ && link_) {
                    settleTimer_.expires_after(std::chrono::milliseconds(timing_.settleMs));
                    settleTimer_.async_wait([this](const asio::error_code& e) {
                        if (!e) settle();
                    });
                }
            });
        });
}

void ReconnectingClient::lost(const std::string& why) {
    if (closed_) return;
    settle();
    settleTimer_.cancel();
    asio::error_code ignored;
    socket_.close(ignored);
    const bool wasUp = link_ != nullptr;
    if (link_) {
        auto link = std::move(link_);
        link->close();
        if (events_.down) events_.down();
    }
    if (wasUp) {
        rt_.trace(options.what + " " + at.text() + ": connection lost (" + why + "); reconnecting");
        if (const int32_t device = options.device) {
            const std::string because = " (" + options.peer + " connection lost)";
            rt_.toHost([device, because](SimHost& host, bool& changed) {
                host.setOnline(device, false);
                host.trace().line(TraceKind::step, "offline " + std::to_string(device) + because);
                changed = true;
            });
        }
    }
    state = ClientState::reconnecting;
    timer_.expires_after(std::chrono::milliseconds(backoff_.next()));
    timer_.async_wait([this](const asio::error_code& ec) {
        if (!ec) connect();
    });
}

void ReconnectingClient::send(PeerLink::Bytes bytes) {
    if (link_) link_->send(std::move(bytes));
}

void ReconnectingClient::drop(const std::string& why) {
    if (link_) lost(why);
}

void ReconnectingClient::close() {
    closed_ = true;
    resolver_.cancel();
    asio::error_code ignored;
    socket_.close(ignored);
    timer_.cancel();
    settleTimer_.cancel();
    if (link_) link_->close();
    link_.reset();
}

}  // namespace zarn_host::bridges
