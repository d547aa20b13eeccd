#include "space/AdditiveFeedbackRandom.h"

namespace {
constinit AdditiveFeedbackRandom generator;
}  // namespace

namespace rng {

void srand(std::uint32_t seed) { generator.seed(seed); }

int rand() { return generator.next(); }

}  // namespace rng
