// Sign test of two doubles without forming their product, so tiny or huge
// arguments can neither underflow nor overflow.
#include "hermite/hermite.h"

namespace hermite {

double DSGNPR(const double& A, const double& B) {
  // A not-a-number argument fails both comparisons and so counts as zero.
  const bool a_nonzero = A > 0.0 || A < 0.0;
  const bool b_nonzero = B > 0.0 || B < 0.0;
  if (!a_nonzero || !b_nonzero) return 0.0;
  return (A > 0.0) == (B > 0.0) ? 1.0 : -1.0;
}

}  // namespace hermite
