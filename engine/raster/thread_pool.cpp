#include "raster/thread_pool_p.h"

namespace zf::raster {

ThreadPool::ThreadPool(int threads)
{
    for (int i = 1; i < threads; ++i)
        m_threads.emplace_back([this, i] { workerLoop(i); });
}

ThreadPool::~ThreadPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void ThreadPool::drain(int worker)
{
    for (int index = m_next.fetch_add(1); index < m_count; index = m_next.fetch_add(1))
        (*m_task)(index, worker);
}

void ThreadPool::run(int count, const std::function<void(int, int)>& task)
{
    if (m_threads.empty() || count <= 1) {
        for (int i = 0; i < count; ++i)
            task(i, 0);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_task = &task;
        m_count = count;
        m_next = 0;
        m_busy = int(m_threads.size());
        ++m_generation;
    }
    m_wake.notify_all();
    drain(0);
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_busy == 0; });
    m_task = nullptr;
}

void ThreadPool::workerLoop(int worker)
{
    uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
            if (m_stop)
                return;
            seen = m_generation;
        }
        drain(worker);
        std::lock_guard lock(m_mutex);
        if (--m_busy == 0)
            m_done.notify_one();
    }
}

} // namespace zf::raster
