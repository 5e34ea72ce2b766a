// Turns the program's outcome into the exit status, with one line on standard error for an error.
#pragma once

#include <cstdio>
#include <expected>

#include "structs/errors.hpp"

namespace sparvik {

// 0 for success; for an error writes "Error: " and its debug form to `err` and gives 1.
int exit_step(const std::expected<void, SparvikError>& outcome, std::FILE* err = stderr);

}  // namespace sparvik
