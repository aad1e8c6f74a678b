#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

// Work in two stages on two threads: one reads batches of rows while the
// calling thread uses the batches read before, in their order. For reading
// a table and working on its rows when both take about as long.
namespace pipeline {

// read(batch) fills one batch and returns false when it has read the last
// rows (the batch may hold some); it runs on a thread of its own, and so
// does done(), when the reading ends. use(batch) runs on the calling
// thread. A failure of either is rethrown here, after the reading thread
// has ended. Returns false when cancelled before every batch was used.
template <class Batch, class Read, class Use, class Done>
bool run(Read read, Use use, Done done, const std::atomic<bool>* cancel) {
    constexpr std::size_t kDepth = 4; // batches read ahead at most
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Batch> queue;
    bool ended = false, stopped = false, cut = false;
    std::exception_ptr failure;
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };

    std::thread reader([&] {
        std::exception_ptr readFailure;
        bool readCut = false;
        try {
            for (bool more = true; more;) {
                Batch b;
                more = read(b);
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return queue.size() < kDepth || stopped; });
                if (stopped)
                    break;
                queue.push_back(std::move(b));
                changed.notify_all();
                if (more && cancelled()) {
                    readCut = true;
                    break;
                }
            }
        } catch (...) {
            readFailure = std::current_exception();
        }
        try {
            done();
        } catch (...) {
        }
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        cut = readCut;
        failure = readFailure;
        changed.notify_all();
    });
    const auto stop = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopped = true;
            changed.notify_all();
        }
        reader.join();
    };
    bool complete = true;
    try {
        for (;;) {
            Batch b;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return !queue.empty() || ended; });
                if (queue.empty())
                    break;
                b = std::move(queue.front());
                queue.pop_front();
                changed.notify_all();
            }
            if (cancelled()) {
                complete = false;
                break;
            }
            use(b);
        }
    } catch (...) {
        stop();
        throw;
    }
    stop();
    if (failure)
        std::rethrow_exception(failure);
    return complete && !cut;
}

} // namespace pipeline
