// Where the early-exercise boundary of an American option can lie over its life, and the spot
// range of a grid widened so that its in-the-money edge stays clear of that boundary.
#pragma once

#include "instruments/vanilla_option.hpp"
#include "methods/finite_difference/grids/domain.hpp"

namespace vyr {

// The exercise boundary of an American put with r > 0 starts at B₀ = K·min(1, r/q) at expiry
// and falls, as the time to expiry grows, toward the perpetual put's boundary
// S∞ = K·β/(β − 1), β the negative root of σ²/2·β(β − 1) + (r − q)·β − r = 0; it never falls
// below S∞. A call's boundary is the mirror image in log-moneyness of the put's with r and q
// exchanged.
struct ExerciseBoundaryRange {
  double start;      // B₀, the boundary at expiry
  double perpetual;  // S∞, the limit for a long life
};

// β, the root of σ²/2·β(β − 1) + (r − q)·β − r = 0 on the side of the continuation region, from
// whichever form avoids cancellation (the two roots multiply to −2r/σ²): a put's negative root,
// a call's positive one. A perpetual option's value goes as S^β away from its boundary.
double perpetual_exponent(OptionType type, double sigma, double r, double q);

// The boundary's range for a put, or NaNs when early exercise never pays
// (r ≤ 0) or an input is not finite.
ExerciseBoundaryRange put_exercise_boundary_range(double strike, double sigma, double r, double q);

// For American exercise: `range` (centred on the strike in log-spot) with its in-the-money edge
// (S_min of a put, S_max of a call) moved beyond the exercise boundary whenever that edge could sit
// near it. Near means between half a standard deviation σ·√T beyond an estimate of the boundary at
// the valuation time, max(S∞, B₀·e^(∓2·σ·√T)), and four standard deviations on the other side of
// B₀ (further by the drift of the log spot over the life where it runs toward the boundary, as
// for a put whose yield far exceeds its rate); the edge then moves to half a standard deviation
// beyond the estimate, and the range grows symmetrically in log-spot about the strike. The solution
// at an edge beyond the boundary is the exercise value, whose slope the boundary condition
// prescribes exactly; an edge well inside the continuation region follows the European far field.
// In between, no local condition is right, which is why the edge must not stay there. European
// exercise, or a boundary that does not exist, leaves `range` unchanged.
SpotRange clear_of_exercise_boundary(const SpotRange& range, OptionType type, ExerciseStyle style,
                                     double strike, double sigma, double maturity, double r,
                                     double q);

}  // namespace vyr
