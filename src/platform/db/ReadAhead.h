#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace engine {

// A thread that runs the reads a window asked for before it needs them,
// the latest asked first: the rows the user scrolled to last are the rows
// he looks at. Nothing is dropped, so that every read asked for is answered.
class ReadAhead {
public:
    using Job = std::function<void()>;

    ReadAhead();
    ~ReadAhead(); // the job running ends first; those not begun are dropped
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    void post(Job job);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<Job> jobs_; // under mutex_; the last is run next
    bool stopping_ = false; // under mutex_
    std::thread thread_;
};

} // namespace engine
