// A small pool of persistent threads for rendering bands in parallel.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zf::raster {

class ThreadPool {
public:
    explicit ThreadPool(int threads); // total, the calling thread included
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    int size() const { return int(m_threads.size()) + 1; }

    // Runs task(index, worker) for every index in [0, count) and returns when
    // all are done. The caller works too, as worker 0.
    void run(int count, const std::function<void(int, int)>& task);

private:
    void workerLoop(int worker);
    void drain(int worker);

    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void(int, int)>* m_task = nullptr;
    int m_count = 0;
    std::atomic<int> m_next{0};
    int m_busy = 0;
    uint64_t m_generation = 0;
    bool m_stop = false;
};

} // namespace zf::raster
