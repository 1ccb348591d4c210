#include "bridges/tsl_umd/display_sender.h"

#include <memory>

namespace zarn_host::bridges {

using asio::ip::tcp;
using asio::ip::udp;

void Sender::start() {
    asio::error_code ec;
    if (config.tcp) {
        connectTcp();
    } else {
        udp::resolver resolver(io_);
        auto found = resolver.resolve(udp::v4(), config.at.host, std::to_string(config.at.port), ec);
        if (!ec && !found.empty()) {
            udpTo_ = *found.begin();
            udpSocket_.open(udp::v4(), ec);
        }
        if (ec) rt_.trace("umd " + config.at.text() + ": " + ec.message());
    }
    repeat();
}

void Sender::close() {
    timer_.cancel();
    retry_.cancel();
    asio::error_code ec;
    tcpSocket_.close(ec);
    udpSocket_.close(ec);
}

void Sender::connectTcp() {
    tcp::resolver resolver(io_);
    asio::error_code ec;
    auto endpoints = resolver.resolve(config.at.host, std::to_string(config.at.port), ec);
    asio::async_connect(tcpSocket_, endpoints, [this](const asio::error_code& error, const tcp::endpoint&) {
        if (error) {
            retry_.expires_after(std::chrono::seconds(2));
            retry_.async_wait([this](const asio::error_code& e) {
                if (!e) {
                    asio::error_code ignored;
                    tcpSocket_.close(ignored);
                    connectTcp();
                }
            });
            return;
        }
        tcpUp_ = true;
        asio::error_code ignored;
        tcpSocket_.set_option(tcp::no_delay(true), ignored);
        rt_.trace("umd tcp://" + config.at.text() + ": connected");
        for (const auto& entry : shown_) sendOne(entry.second);
    });
}

void Sender::sendOne(const tsl::Display& d) {
    // One display a packet: some listeners read only the first of a packet.
    for (const auto& packet : tsl::encode(config.screen, {d})) {
        if (!config.tcp) {
            if (!udpSocket_.is_open()) return;
            asio::error_code ignored;
            udpSocket_.send_to(asio::buffer(packet), udpTo_, 0, ignored);
        } else if (tcpUp_) {
            auto copy = std::make_shared<tsl::Bytes>(tsl::wrapTcp(packet));
            asio::async_write(tcpSocket_, asio::buffer(*copy), [this, copy](const asio::error_code& ec, std::size_t) {
                if (ec && tcpUp_) {
                    tcpUp_ = false;
                    rt_.trace("umd tcp://" + config.at.text() + ": connection lost; reconnecting");
                    asio::error_code ignored;
                    tcpSocket_.close(ignored);
                    connectTcp();
                }
            });
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
