// The worker threads wait for a new generation of work, run it and count
// themselves out; the caller runs its share and waits until all are out.
// The pool is never destroyed: the threads are detached and the shared state
// outlives them, so process exit finds no joinable thread and no waited-on
// condition variable being destroyed.
#include "fractal/worker_pool.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace {

struct Pool {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    void (*task)(void*) = nullptr;
    void* argument = nullptr;
    std::uint64_t generation = 0;
    int running = 0;  // workers still in the current generation
    int workers = 0;
};

Pool* pool;
std::once_flag pool_made;

// Thread entry: realign the stack that 32-bit Windows may leave 4-byte aligned.
#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
void work_forever()
{
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(pool->mutex);
    for (;;) {
        pool->wake.wait(lock, [&] { return pool->generation != seen; });
        seen = pool->generation;
        void (*task)(void*) = pool->task;
        void* argument = pool->argument;
        lock.unlock();
        task(argument);
        lock.lock();
        if (--pool->running == 0)
            pool->finished.notify_one();
    }
}

void make_pool()
{
    pool = new Pool;
    const unsigned cores = std::thread::hardware_concurrency();
    const int workers = cores > 1 ? static_cast<int>(cores < 64 ? cores : 64) - 1 : 0;
    pool->workers = workers;
    for (int i = 0; i < workers; ++i)
        std::thread(work_forever).detach();
}

}  // namespace

void run_on_every_core(void (*task)(void*), void* argument)
{
    std::call_once(pool_made, make_pool);
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->task = task;
        pool->argument = argument;
        pool->running = pool->workers;
        ++pool->generation;
    }
    pool->wake.notify_all();
    task(argument);
    std::unique_lock<std::mutex> lock(pool->mutex);
    pool->finished.wait(lock, [] { return pool->running == 0; });
}
