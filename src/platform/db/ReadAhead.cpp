#include "ReadAhead.h"

#include <utility>

namespace engine {

ReadAhead::ReadAhead() : thread_(&ReadAhead::run, this) {}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    posted_.notify_all();
    thread_.join();
}

void ReadAhead::post(Job job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    posted_.notify_one();
}

void ReadAhead::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            posted_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = std::move(jobs_.back());
            jobs_.pop_back();
        }
        job();
    }
}

} // namespace engine
