// A fixed pool of worker threads, one per core beside the caller's, made on
// first use and kept for the whole run.
#pragma once

namespace zqv {

// Runs task(argument) on every worker and on the calling thread at once and
// returns when all of them have finished. One caller at a time.
void run_on_every_core(void (*task)(void*), void* argument);

}  // namespace zqv
