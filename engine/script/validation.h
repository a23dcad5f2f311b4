// Static validation of a script before it runs: block balance, labels,
// wizard-loop content, required parameters and whether each variable a
// condition tests exists at that point.  It executes nothing; it uses the
// variable store as scratch space (cleared at start; the caller clears it
// again afterwards).
#pragma once

#include <string>

#include "engine/script/script.h"
#include "engine/script/variables.h"

namespace engine {

inline constexpr int kValidOk = -1;
inline constexpr int kUnbalancedEndIndex = 2147483644;

struct ValidationResult {
  int index = kValidOk;  // failing command, kUnbalancedEndIndex, or kValidOk
  std::string message = "Script compiled successfully";
  bool ok() const { return index == kValidOk; }
};

// Declares, empty with source "Compilation", the variables a run defines
// before its first command.
void DeclarePredefined(Variables& vars);

ValidationResult ValidateScript(const Script& script, Variables& vars);

}  // namespace engine
