// The deep engine's part of zqv_bench: deep frames at three depths of named
// locations, and plain perturbation against the double kernel.
#pragma once

namespace zqv {

// Prints the table; double_rate is the double kernel's iterations per second.
void run_deep_bench(double double_rate);

}  // namespace zqv
