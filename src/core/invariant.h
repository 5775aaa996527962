#pragma once

#include <string_view>

namespace kova {

// Ends the process with a diagnostic on standard error and exit code 101.
// Only for states that no input can bring about.
[[noreturn]] void invariant_violation(std::string_view what);

inline constexpr int kInvariantViolationExitCode = 101;

}  // namespace kova
