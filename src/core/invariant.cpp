#include "core/invariant.h"

#include <cstdio>
#include <cstdlib>

namespace kova {

void invariant_violation(std::string_view what) {
    std::fprintf(stderr, "kova-mcp: internal error: %.*s\n", static_cast<int>(what.size()), what.data());
    std::fflush(stderr);
    std::_Exit(kInvariantViolationExitCode);
}

}  // namespace kova
