// The supervisor's relay of a worker's answer: head, then body through a
// bounded buffer; a taker that leaves stops the fetch, a fetch cut off is
// told from a whole one.
#include "web/supervisor/relayed_answer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using zarn_host::RelayedAnswer;

std::string bodyOf(std::size_t size) {
    std::string body;
    for (std::size_t i = 0; i < size; ++i) body += static_cast<char>('a' + i % 26);
    return body;
}

// A fetch writing the body in writes of `step` bytes, then saying whether it came whole.
std::function<bool(RelayedAnswer&)> fetchOf(const std::string& body, std::size_t step, bool whole = true) {
    return [body, step, whole](RelayedAnswer& to) {
        if (!to.head(200, "application/json")) return false;
        for (std::size_t at = 0; at < body.size(); at += step) {
            if (!to.write(body.data() + at, std::min(step, body.size() - at))) return false;
        }
        return whole;
    };
}

TEST(relayed_answer, hands_over_head_and_body_holding_no_more_than_its_limit) {
    struct Case {
        std::size_t size, step, limit;
    };
    for (const Case& c : {Case{0, 1, 16}, Case{100000, 1000, 4096}, Case{100000, 7, 64}, Case{5000, 5000, 1000}}) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes in writes of " + std::to_string(c.step));
        std::string body = bodyOf(c.size);
        RelayedAnswer answer(fetchOf(body, c.step), c.limit);
        int status = 0;
        std::string type;
        ASSERT_TRUE(answer.waitHead(status, type));
        EXPECT_EQ(status, 200);
        EXPECT_EQ(type, "application/json");
        std::string got, piece;
        std::size_t largest = 0;
        while (answer.read(piece)) {
            largest = std::max(largest, piece.size());
            got += piece;
            std::this_thread::sleep_for(std::chrono::microseconds(50));  // a slower taker than the fetch
        }
        EXPECT_TRUE(piece.empty());
        EXPECT_TRUE(got == body);
        EXPECT_TRUE(answer.complete());
        // A write larger than the limit passes alone.
        EXPECT_LE(largest, std::max(c.limit, c.step));
    }
}

TEST(relayed_answer, a_taker_that_leaves_stops_the_fetch) {
    std::atomic<int> writes{0};
    std::atomic<bool> stopped{false};
    {
        RelayedAnswer answer(
            [&](RelayedAnswer& to) {
                to.head(200, "application/json");
                while (to.write("0123456789", 10)) ++writes;  // an endless body
                stopped = true;
                return false;
            },
            100);
        int status = 0;
        std::string type, piece;
        ASSERT_TRUE(answer.waitHead(status, type));
        ASSERT_TRUE(answer.read(piece));
        answer.close();
        EXPECT_FALSE(answer.read(piece));
    }  // joins the fetch's thread
    EXPECT_TRUE(stopped);
    EXPECT_LT(writes.load(), 100);
}

TEST(relayed_answer, a_fetch_cut_off_or_without_a_head_is_told_apart) {
    {
        RelayedAnswer answer([](RelayedAnswer&) { return false; });  // the worker did not answer
        int status = 0;
        std::string type, piece;
        EXPECT_FALSE(answer.waitHead(status, type));
        EXPECT_FALSE(answer.read(piece));
        EXPECT_FALSE(answer.complete());
    }
    RelayedAnswer answer(fetchOf(bodyOf(3000), 1000, false));  // the worker ended mid-answer
    int status = 0;
    std::string type, piece, got;
    ASSERT_TRUE(answer.waitHead(status, type));
    while (answer.read(piece)) got += piece;
    EXPECT_EQ(got.size(), 3000u);
    EXPECT_FALSE(answer.complete());
}

}  // namespace
