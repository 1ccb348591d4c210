// Load, start, drive, stop and unload the K7 panel library over and over in
// one process, as a host that opens and closes the panel would. After a
// warm-up, the heap in use, the resident size and the open descriptors must
// not grow, and the library must be gone after every unload.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>
#include <zarn/button_record.h>
#include <zarn/host_commands.h>
#include <zarn/revertive_record.h>
#include <zarn/zarn_client.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "support/recording_host.h"
#include "support/sanitizer.h"

namespace {

#ifdef ZARN_UNDER_SANITIZER
// The sanitizer's allocator is not the one mallinfo2 reports on, and it keeps
// freed memory in quarantine; leaks are its own business there (LeakSanitizer).
constexpr int warmUpRounds = 100;
constexpr int totalRounds = 1000;
constexpr bool measureHeap = false;
#else
constexpr int warmUpRounds = 1000;
constexpr int totalRounds = 10000;
constexpr bool measureHeap = true;
#endif

struct Usage {
    std::size_t heapInUse;  // bytes handed out by malloc
    long residentPages;
    int openDescriptors;
};

int countOpenDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int count = 0;
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
    return count;  // includes ".", ".." and the directory's own descriptor, alike every time
}

Usage measure() {
    Usage usage{};
    const struct mallinfo2 info = mallinfo2();
    usage.heapInUse = info.uordblks + info.hblkhd;
    long size = 0;
    usage.residentPages = -1;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &size, &usage.residentPages) != 2) usage.residentPages = -1;
        std::fclose(statm);
    }
    usage.openDescriptors = countOpenDescriptors();
    return usage;
}

// A facility where every look-up and every package resolves, so start-up and
// a take send their full command sequences.
void furnish(RecordingHost& host) {
    host.answer("SD 'K7 Package Names'", "7 0");
    host.answer("SD 'K7 Package XPTS'", "8 0");
    host.answer("SD 'K7 SDI Router'", "3 0");
    host.answer("SD 'K7 Audio Router'", "4 0");
    const int packages[] = {361, 388, 389, 387, 390};
    for (int m = 0; m < 5; ++m) {
        host.answer("RN 8 1 " + std::to_string(packages[m]), std::to_string(40 + m) + "," + std::to_string(50 + m));
    }
    host.answer("RN 8 0 5", "12,22");
    host.answer("PS '1' 'panels/k7_mon.zarn_ui'", "OK");
}

// One life of the panel: load, start, every kind of notification, stop, unload.
// Returns an empty text or what went wrong.
std::string oneLife() {
    void* library = dlopen(K7_MON_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!library) return std::string("dlopen: ") + dlerror();
    auto load = reinterpret_cast<load_zarn_client_script_fn>(dlsym(library, "load_zarn_client_script"));
    if (!load) return "no entry point";

    std::string problem;
    {
        RecordingHost host;
        furnish(host);
        zarn_client_callback* script = load(&host, "panels");
        if (!script) return "the entry point returned null";

        for (const char* control : {"Mon_3", "Sources", "VidLevel", "AudLevel", "Mon_1", "Sources"}) {
            zarn_button_record button("1", control, "", "5");
            script->callback(button.event(), zarn_type_button);
        }
        zarn_revertive_record revertive(3, 42, "CAM 2");
        script->callback(revertive.event(), zarn_type_revertive);
        script->callback(const_cast<char*>("myParam=abc"), zarn_type_parent_message);
        char* reply = script->callback(const_cast<char*>("return=myParam"), zarn_type_parent_message);
        if (!reply || std::string(reply) != "myParam=abc") problem = "wrong reply to return=myParam";
        script->callback(reply, zarn_type_release);
        // A reply never handed back is the panel's to free when it is destroyed.
        script->callback(const_cast<char*>("_events"), zarn_type_parent_message);
        script->callback(reinterpret_cast<void*>(1), zarn_type_timer);
        delete script;

        if (host.commands.empty() || host.commands.back() != "AS") problem = "the last command is not AS";
        // The host keeps the replies the script does not read (PS: tested for null only).
        for (const std::string& command : host.outstanding()) {
            if (zarn::replyHandedBack(command.substr(0, 2)))
                problem = "the reply to " + command + " was not handed back";
        }
        if (!host.faults.empty()) problem = host.faults.front();
    }
    if (dlclose(library) != 0) return std::string("dlclose: ") + dlerror();
    // Still mapped means it could not be unloaded (a unique symbol or a
    // thread-local destructor would pin it), and every load would be the first.
    if (void* still = dlopen(K7_MON_LIBRARY, RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(still);
        return "the library stayed loaded after dlclose";
    }
    return problem;
}

TEST(load_unload, repeated_lives_of_the_k7_panel_leave_nothing_behind) {
    Usage warm{};
    for (int round = 1; round <= totalRounds; ++round) {
        const std::string problem = oneLife();
        ASSERT_EQ(problem, "") << "round " << round;
        if (round == warmUpRounds) warm = measure();
    }
    const Usage done = measure();

    EXPECT_EQ(done.openDescriptors, warm.openDescriptors);
    if (measureHeap) {
        // A leak of a single small allocation per life would show as at least
        // 9000 blocks of 16 bytes; allocator slack stays far below that.
        EXPECT_LE(done.heapInUse, warm.heapInUse + 64 * 1024)
            << "heap in use grew from " << warm.heapInUse << " to " << done.heapInUse << " bytes";
        const long pageKiB = sysconf(_SC_PAGESIZE) / 1024;
        EXPECT_LE(done.residentPages, warm.residentPages + 1024 / pageKiB)
            << "resident size grew from " << warm.residentPages * pageKiB << " to " << done.residentPages * pageKiB
            << " KiB";
    }
}

}  // namespace
