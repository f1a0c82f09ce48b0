// Work run beside the caller's: on a thread of its own, joined when the
// owner's scope is left however it is left; where no thread can be had, the
// work runs at once, before the constructor returns.
#pragma once

#include <system_error>
#include <thread>
#include <utility>

class BesideThread {
public:
    template <class Work>
    explicit BesideThread(Work work) {
        try {
            thread_ = std::thread(work);
        } catch (const std::system_error&) {
            work();
        }
    }
    ~BesideThread() {
        if (thread_.joinable()) thread_.join();
    }
    BesideThread(const BesideThread&) = delete;
    BesideThread& operator=(const BesideThread&) = delete;

private:
    std::thread thread_;
};
