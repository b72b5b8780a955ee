// Finding a minibrot in a view: its period by the "ball" method, its
// nucleus by Newton's method in fixed point (Boost.Multiprecision cpp_int,
// the same bits on every build), and its size and angle from the nucleus's
// orbit.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "fractal/deep/decimal.h"
#include "fractal/deep/floatexp.h"

namespace zqv {

struct Minibrot {
    std::uint64_t period = 0;
    Decimal nucleus_re, nucleus_im;
    FloatExp size = zero_floatexp;  // across, about: |1 / (b l^2)|
    double angle = 0.0;             // of 1 / (b l^2), in radians
};

// Told now and then how far the search has come: what it is doing, and done of total.
using FindReport = void (*)(const char* stage, std::int64_t done, std::int64_t total, void* context);

// The minibrot nearest the centre of the view of this radius: of the given
// period, or of the view's ball period up to max_period. The reason if there
// is none (no period up to max_period, the centre escapes first, Newton's
// method does not converge or leaves the view) or the stop flag was set
// (stopped true).
std::optional<std::string> find_minibrot(const Decimal& centre_re, const Decimal& centre_im, FloatExp radius,
                                         std::uint64_t period, std::uint64_t max_period, Minibrot& found,
                                         const std::atomic<bool>* stop, bool& stopped, FindReport report = nullptr,
                                         void* context = nullptr);

}  // namespace zqv
