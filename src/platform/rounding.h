#ifndef QUILLET_PLATFORM_ROUNDING_H_
#define QUILLET_PLATFORM_ROUNDING_H_

#include <cmath>

namespace quillet {

// Rounds to the nearest integer with halves going to the even neighbour
// (10.5 gives 10, 11.5 gives 12), the rule of every conversion from a
// floating value to an integer in this program.
inline long long RoundHalfEven(double value) {
  const double floor = std::floor(value);
  const double diff = value - floor;
  long long result = static_cast<long long>(floor);
  if (diff > 0.5 || (diff == 0.5 && result % 2 != 0)) ++result;
  return result;
}

}  // namespace quillet

#endif  // QUILLET_PLATFORM_ROUNDING_H_
