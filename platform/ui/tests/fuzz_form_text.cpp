// Fuzzes the form-text parser: any input gives a result, never a crash,
// and a tree that parsed gives text forms for all of its values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ui/form_text.h"

namespace {
void Walk(const ui::TFormObject& o) {
  for (const ui::TFormProperty& p : o.props) {
    (void)ui::FormValueText(p.value);
    for (const ui::TFormValue& v : p.value.list) (void)ui::FormValueText(v);
  }
  for (const ui::TFormObject& c : o.children) Walk(c);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Inputs with an odd first byte get an object header, so that the fuzzer
  // reaches properties and values without first guessing "object".
  std::string text(reinterpret_cast<const char*>(data), size);
  if (size > 0 && (data[0] & 1)) text = "object A: TForm\n  P = " + text.substr(1);
  ui::TFormParseResult r = ui::ParseFormText(text);
  if (r.ok) Walk(r.root);
  else if (r.error.empty()) __builtin_trap();
  return 0;
}
