// An interactive run with bridges applies what peers sent while it waits for
// a line, including what they sent before the wait began: a controller that
// connects as soon as the run says it reads standard input is answered
// though nobody types.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <streambuf>

#include "bridges/bridges.h"
#include "run/host_app.h"

namespace {

using namespace std::chrono_literals;

struct Exchanges {
    std::mutex mutex;
    std::condition_variable cv;
    int count = 0;
};

// Bridges whose peers sent something before any wake was set: the wake is
// never called, so only the run's own first exchange applies it.
class QueuedBeforeTheWake : public zarn_host::Bridges {
public:
    explicit QueuedBeforeTheWake(Exchanges& exchanges) : exchanges_(exchanges) {}
    bool exchange(zarn_host::SimHost&) override {
        std::lock_guard<std::mutex> lock(exchanges_.mutex);
        ++exchanges_.count;
        exchanges_.cv.notify_all();
        return false;
    }
    void setWake(std::function<void()>) override {}
    std::string statusJson() const override { return "{}"; }

private:
    Exchanges& exchanges_;
};

// Standard input with nobody typing: "quit" comes once the run has
// exchanged, or after a long wait, so that a run that never does still ends.
class QuitOnceExchanged : public std::streambuf {
public:
    explicit QuitOnceExchanged(Exchanges& exchanges) : exchanges_(exchanges) {}
    int exchangesBeforeQuit = -1;

protected:
    int_type underflow() override {
        if (gave_) return traits_type::eof();
        {
            std::unique_lock<std::mutex> lock(exchanges_.mutex);
            exchanges_.cv.wait_for(lock, 30s, [&] { return exchanges_.count > 0; });
            exchangesBeforeQuit = exchanges_.count;
        }
        gave_ = true;
        setg(line_, line_, line_ + 5);
        return traits_type::to_int_type(line_[0]);
    }

private:
    Exchanges& exchanges_;
    char line_[6] = "quit\n";
    bool gave_ = false;
};

TEST(interactive_run, applies_what_peers_sent_before_the_wait_without_a_wake) {
    Exchanges exchanges;
    std::ostringstream out, err;
    QuitOnceExchanged typed(exchanges);
    std::istream in(&typed);
    zarn_host::HostOptions options;
    options.panelLibrary = ZARN_TEST_PUPPET;
    options.facility = std::string(ZARN_TEST_SOURCE_DIR) + "/host/facilities/k7/facility.json";
    options.quiet = true;
    auto bridges = [&](const std::string&, zarn_host::SimHost&, bool, std::string&) {
        return std::unique_ptr<zarn_host::Bridges>(new QueuedBeforeTheWake(exchanges));
    };
    EXPECT_EQ(zarn_host::runHost(options, in, out, err, nullptr, bridges), 0) << err.str();
    EXPECT_GE(typed.exchangesBeforeQuit, 1) << "nothing was applied while the run waited for its first line";
}

}  // namespace
