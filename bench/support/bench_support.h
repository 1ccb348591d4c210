// Support shared by every benchmark binary: an allocation counter, a null-cost
// host, and a main() that pairs each benchmark "X" with its floor "floor/X"
// and prints both side by side as a ratio, plus a scaling table for every
// family with a size argument.
//
// Run under callgrind with --zarn_instructions, main() instead runs every
// benchmark with a fixed number of iterations and reports instructions per
// iteration beside the time ratios of an earlier timed run (see
// tools/run-benchmarks.sh --instructions).
#pragma once

#include <benchmark/benchmark.h>
#include <zarn/zarn_client.h>

#include <cstdint>
#include <cstring>

namespace zarn_bench {

// Counts the calls of the global operator new (all forms) made while it
// lives. Given a benchmark's state, it sets the benchmark's "allocs" counter
// to the allocations per iteration when it goes out of scope, or earlier with
// report() (before anything that allocates, a counter of the state's own, say):
//
//     zarn_bench::AllocationCounter allocations(state);
//     for (auto _ : state) ...;
class AllocationCounter {
public:
    AllocationCounter();
    explicit AllocationCounter(benchmark::State& state);
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    // Allocations since construction.
    std::uint64_t count() const;
    // Sets the state's "allocs" counter now; once only, later calls and the
    // destructor leave it as it is.
    void report();

private:
    benchmark::State* state_ = nullptr;
    std::uint64_t start_;
};

// Registers the ratio a benchmark should stay within against its floor; the
// ratio table marks each figure against it.
void setTarget(const char* name, double ratio);

// Registers a benchmark. work is what one iteration of its largest size
// costs against a short text (its largest size argument, or 1): counting
// instructions runs it work times fewer iterations.
benchmark::internal::Benchmark* add(const char* name, void (*function)(benchmark::State&), long long work = 1);

// Compares a zarn_string benchmark with the same text built with std::string
// (and with QString when qt is not null), all against the zarn_string one's
// floor; ratio is the target for zarn_string over std::string.
void compareWith(const char* name, const char* standard, const char* qt, double ratio);

// A host that costs next to nothing: it answers SD, RN, XI and TG from fixed
// buffers, ignores hand-backs and everything else, and allocates nothing. SD
// answers cycle through four devices, in the order a K7 start-up looks them
// up (package names, package crosspoints, SDI router, audio router). The
// first byte of every command is summed so that no command can be optimised
// away.
class NullHost : public zarn_client_callback {
public:
    char* callback(void* data, int32_t type) override {
        if (type != zarn_type_command || data == nullptr) return nullptr;
        const char* text = static_cast<const char*>(data);
        checksum += static_cast<unsigned char>(text[0]);
        ++commands;
        if (text[0] == 'S' && text[1] == 'D') return deviceReplies[lookups++ % 4];
        if (text[0] == 'R' && text[1] == 'N') {
            // "RN <device> <database> <index>": database 1 holds destination
            // packages, any other source packages.
            const char* database = std::strchr(text + 3, ' ');
            return database != nullptr && database[1] == '1' ? destinationEntry : sourceEntry;
        }
        if (text[0] == 'X' && text[1] == 'I') return controlList;
        if (text[0] == 'T' && text[1] == 'G') return propertyReply;
        return nullptr;
    }

    std::uint64_t checksum = 0;
    std::uint64_t commands = 0;
    unsigned lookups = 0;
    char deviceReplies[4][16] = {"201 0", "202 0", "101 0", "102 0"};
    char destinationEntry[16] = "40,20";
    char sourceEntry[16] = "11,3";
    char controlList[32] = "alm_1,alm_2,alm_3";
    char propertyReply[16] = "value=2";
};

}  // namespace zarn_bench
