#include "web/page_server/panel_jobs.h"

namespace zarn_host {

bool PanelJobs::post(std::function<void()> job, std::string& why) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            why = "the host is stopping";
            return false;
        }
        if (jobs_.size() >= maxQueued) {
            why = "the host is busy; try again";
            return false;
        }
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
    return true;
}

bool PanelJobs::runQueued(std::chrono::milliseconds wait) {
    std::deque<std::function<void()>> batch;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_for(lock, wait, [&] { return !jobs_.empty() || stopping_ || nudged_; });
        if (stopping_) return false;
        nudged_ = false;
        batch.swap(jobs_);
    }
    for (auto& job : batch) job();
    return true;
}

void PanelJobs::nudge() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        nudged_ = true;
    }
    wake_.notify_one();
}

void PanelJobs::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
}

void PanelJobs::drop() {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.clear();
}

}  // namespace zarn_host
