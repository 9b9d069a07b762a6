// Analyses by integration: the fits and complexities as multivariate normal
// probabilities, without Markov chains.
#include "api/internal.h"

namespace ineqbf {

Result detail::integrate(const Problem&, const Settings&) {
  throw Error(status_usage, "the integration method is not available in this build");
}

}  // namespace ineqbf
