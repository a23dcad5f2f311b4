// Conditions and expressions on text values.  Plain C++, no UI: the fuzzer
// builds this file on its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engine {

// Comparison of "If" / "Else If" on already expanded operands, codes "0"
// to "4" and "6" (code "5", existence, is decided by the caller).  Any other
// code gives false.  Throws std::invalid_argument for a version component
// before a "." that is not a number (code "6").
bool CompareCondition(std::string_view code, std::string_view left, std::string_view right);

// True when version a is greater than version b.
bool VersionGreater(std::string_view a, std::string_view b);

enum class ExprOutcome { True, False, Error, Failed };
// Evaluates an (already expanded) expression.  Error: text left over.
// Failed: the evaluation failed while consuming the whole text.
ExprOutcome EvaluateExpressionOutcome(std::string_view expr);
// The text the result variable receives: "TRUE", "FALSE" or "ERROR"; a
// failure that consumed the whole text gives "ERROR" as well.
std::string EvaluateExpression(std::string_view expr);
// Syntax check of the unexpanded expression: every "$" becomes a double
// quote; valid unless the evaluation leaves text over.  (A failure that
// consumes the whole text is accepted, as the run reports it as "ERROR".)
bool CheckExpressionSyntax(std::string_view expr);

// "Mathematics": the random generator state is engine-wide.
struct MathState { int multiplier = 0; int increment = 0; int seed = 0; };
// A and B as written (expanded), code as written; nullopt = empty result.
std::optional<std::string> Mathematics(std::string_view a, std::string_view b, std::string_view code,
                                       MathState& state);

}  // namespace engine
