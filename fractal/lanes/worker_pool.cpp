// The worker threads wait for a new generation of work, run it and count
// themselves out; the caller runs its share and waits until all are out.
// Both wait by spinning for a short while before they sleep, so that the
// frame pass that follows the coarse pass, and the caller's wait for the
// last worker, need no wake-up by the operating system.
// The pool is never destroyed: the threads are detached and the shared state
// outlives them, so process exit finds no joinable thread and no waited-on
// condition variable being destroyed.
#include "fractal/lanes/worker_pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include <emmintrin.h>

namespace zqv {

namespace {

struct Pool {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    void (*task)(void*) = nullptr;  // set before `generation` moves on
    void* argument = nullptr;
    std::atomic<std::uint64_t> generation{0};  // moved on under `mutex`
    std::atomic<int> running{0};               // workers still in the current generation
    int workers = 0;
};

Pool* pool;
std::once_flag pool_made;

// How long a thread spins before it sleeps: far longer than the gap between
// the two passes of a frame, far shorter than the gap between frames.
constexpr std::chrono::microseconds spin_time{200};

// Whether done() came true within spin_time. The spinning thread yields its
// core now and then, to a thread it may be waiting for when the machine has
// more threads to run than cores.
template <class Done>
bool spin_until(Done done)
{
    const auto give_up = std::chrono::steady_clock::now() + spin_time;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (done())
                return true;
            _mm_pause();
        }
        if (std::chrono::steady_clock::now() > give_up)
            return false;
        std::this_thread::yield();
    }
}

// Thread entry: realign the stack that 32-bit Windows may leave 4-byte aligned.
#if defined(__i386__)
__attribute__((force_align_arg_pointer))
#endif
void work_forever()
{
    std::uint64_t seen = 0;
    for (;;) {
        const auto moved_on = [&] { return pool->generation.load(std::memory_order_acquire) != seen; };
        if (!spin_until(moved_on)) {
            std::unique_lock<std::mutex> lock(pool->mutex);
            pool->wake.wait(lock, moved_on);
        }
        seen = pool->generation.load(std::memory_order_acquire);
        pool->task(pool->argument);
        if (pool->running.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            std::lock_guard<std::mutex> lock(pool->mutex);
            pool->finished.notify_one();
        }
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
    pool->task = task;
    pool->argument = argument;
    pool->running.store(pool->workers, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(pool->mutex);
        pool->generation.fetch_add(1, std::memory_order_release);
    }
    pool->wake.notify_all();
    task(argument);
    const auto all_out = [] { return pool->running.load(std::memory_order_acquire) == 0; };
    if (!spin_until(all_out)) {
        std::unique_lock<std::mutex> lock(pool->mutex);
        pool->finished.wait(lock, all_out);
    }
}

}  // namespace zqv
