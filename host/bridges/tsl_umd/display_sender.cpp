#include "bridges/tsl_umd/display_sender.h"

namespace zarn_host::bridges {

using asio::ip::udp;

Sender::Sender(Runtime& rt, SenderConfig config)
    : config(std::move(config)), rt_(rt), io_(rt.io()), udpResolver_(io_), udpSocket_(io_), timer_(io_) {
    if (this->config.tcp) {
        tcp_ = std::make_unique<ReconnectingClient>(
            rt, this->config.at, ClientOptions{"umd", "display", 0, false, limits::kUmdWaitingBytes, 0, {}});
    }
}

std::string Sender::statusText() const {
    return tcp_ ? tcp_->statusText() : "sending to " + target();
}

void Sender::start() {
    if (tcp_) {
        tcp_->start({[this] {
                         for (const auto& entry : shown_) sendOne(entry.second);
                     },
                     [](const uint8_t*, std::size_t) {}, nullptr});
    } else {
        // Resolved once, off the I/O thread: a slow name stalls no bridge.
        udpResolver_.async_resolve(
            udp::v4(), config.at.host, std::to_string(config.at.port),
            [this](const asio::error_code& ec, udp::resolver::results_type found) { resolved(ec, found); });
    }
    repeat();
}

void Sender::resolved(const asio::error_code& ec, const udp::resolver::results_type& found) {
    if (ec == asio::error::operation_aborted) return;
    asio::error_code error = ec;
    if (!error && !found.empty()) {
        udpTo_ = *found.begin();
        udpSocket_.open(udp::v4(), error);
    }
    if (error) rt_.trace("umd " + config.at.text() + ": " + error.message());
}

void Sender::close() {
    timer_.cancel();
    udpResolver_.cancel();
    if (tcp_) tcp_->close();
    asio::error_code ec;
    udpSocket_.close(ec);
}

void Sender::sendOne(const tsl::Display& d) {
    // One display a packet: some listeners read only the first of a packet.
    for (const auto& packet : tsl::encode(config.screen, {d})) {
        if (tcp_) {
            if (!tcp_->up()) return;
            tcp_->send(tsl::wrapTcp(packet));
        } else {
            if (!udpSocket_.is_open()) return;
            asio::error_code ignored;
            udpSocket_.send_to(asio::buffer(packet), udpTo_, 0, ignored);
        }
    }
}

void Sender::show(const tsl::Display& d) {
    shown_[d.index] = d;
    sendOne(d);
}

void Sender::repeat() {
    timer_.expires_after(std::chrono::milliseconds(config.repeatMs));
    timer_.async_wait([this](const asio::error_code& ec) {
        if (ec) return;
        for (const auto& entry : shown_) sendOne(entry.second);
        repeat();
    });
}

}  // namespace zarn_host::bridges
