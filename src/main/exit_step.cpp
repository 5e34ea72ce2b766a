#include "main/exit_step.hpp"

#include <string>

namespace sparvik {

int exit_step(const std::expected<void, SparvikError>& outcome, std::FILE* err) {
  if (outcome) return 0;
  const std::string line = "Error: " + outcome.error().debug() + "\n";
  // Nothing is left to tell when even this fails.
  (void)std::fputs(line.c_str(), err);
  return 1;
}

}  // namespace sparvik
