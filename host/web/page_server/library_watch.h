// Notices that the panel library's file changed on disk (a rebuild) and has
// settled, by polling its time and size.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace zarn_host {

// Threads: not shared; one thread polls it (the panel thread in the page
// server, the worker loop in the supervisor, each with its own).
class LibraryWatch {
public:
    static constexpr std::chrono::milliseconds poll{500};

    // Watches path from its state now; an empty path never changes.
    explicit LibraryWatch(std::string path);

    // True once per change: the file exists, differs from when it was last
    // reported (or watched), and looked the same at two polls in a row, so a
    // file still being written waits. Polls at most every 500 ms.
    bool changed(std::chrono::steady_clock::time_point now);

private:
    struct Stamp {
        bool exists = false;
        std::filesystem::file_time_type time{};
        std::uintmax_t size = 0;
        bool operator==(const Stamp& o) const { return exists == o.exists && time == o.time && size == o.size; }
        bool operator!=(const Stamp& o) const { return !(*this == o); }
    };
    static Stamp stampOf(const std::string& path);

    std::string path_;
    Stamp reported_;
    Stamp pending_;
    std::chrono::steady_clock::time_point nextPoll_{};
};

}  // namespace zarn_host
