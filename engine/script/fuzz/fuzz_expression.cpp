// Arbitrary text through the expression evaluator, its syntax check, the
// condition comparisons and $NAME$ expansion with self-referring values.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/script/expression.h"
#include "engine/script/variables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string r = engine::EvaluateExpression(text);
  if (r != "TRUE" && r != "FALSE" && r != "ERROR") __builtin_trap();
  (void)engine::CheckExpressionSyntax(text);

  std::size_t half = size / 2;
  std::string_view a = text.substr(0, half), b = text.substr(half);
  for (const char* code : {"0", "1", "2", "3", "4", "6", "9"}) {
    try {
      (void)engine::CompareCondition(code, a, b);
    } catch (const std::invalid_argument&) {
    }
  }
  engine::MathState st;
  for (const char* code : {"0", "3", "4", "8", "9", "11", "12", "13", "15"}) (void)engine::Mathematics(a, b, code, st);

  engine::Variables vars;
  vars.Put("A", a);
  vars.Put("B", b);
  vars.Put("SELF", "$SELF$$SELF$");
  (void)vars.Expand(text);
  (void)vars.ExpandQuoted(text);
  (void)vars.ExpandPath(text);
  return 0;
}
