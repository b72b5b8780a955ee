// A fixed pool of worker threads, one per core beside the caller's, made on
// first use and kept for the whole run.
#pragma once

// For a task whose code uses vector registers: on 32-bit Windows a worker
// thread may enter with the stack aligned to 4 bytes only, so the task
// realigns it for its vector spills.
#if defined(__i386__)
#define VECTOR_TASK __attribute__((force_align_arg_pointer))
#else
#define VECTOR_TASK
#endif

namespace zqv {

// Runs task(argument) on every worker and on the calling thread at once and
// returns when all of them have finished. One caller at a time.
void run_on_every_core(void (*task)(void*), void* argument);

}  // namespace zqv
