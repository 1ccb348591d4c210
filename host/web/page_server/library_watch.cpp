#include "web/page_server/library_watch.h"

#include <system_error>
#include <utility>

namespace zarn_host {

LibraryWatch::LibraryWatch(std::string path) : path_(std::move(path)) {
    if (!path_.empty()) reported_ = stampOf(path_);
    pending_ = reported_;
}

LibraryWatch::Stamp LibraryWatch::stampOf(const std::string& path) {
    Stamp stamp;
    std::error_code ec;
    stamp.time = std::filesystem::last_write_time(path, ec);
    if (ec) return stamp;
    stamp.size = std::filesystem::file_size(path, ec);
    stamp.exists = !ec;
    return stamp;
}

bool LibraryWatch::changed(std::chrono::steady_clock::time_point now) {
    if (path_.empty() || now < nextPoll_) return false;
    nextPoll_ = now + poll;
    Stamp stamp = stampOf(path_);
    if (stamp == reported_ || !stamp.exists) return false;
    // A file still being written changes between two polls: wait for it to settle.
    if (stamp != pending_) {
        pending_ = stamp;
        return false;
    }
    reported_ = stamp;
    return true;
}

}  // namespace zarn_host
