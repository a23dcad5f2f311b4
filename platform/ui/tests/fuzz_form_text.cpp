// Fuzzes the form-text parser: any input gives a result, never a crash,
// and a tree that parsed gives text forms for all of its values.
#include <cstddef>
#include <cstdint>
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
  ui::TFormParseResult r = ui::ParseFormText(std::string_view(reinterpret_cast<const char*>(data), size));
  if (r.ok) Walk(r.root);
  else if (r.error.empty()) __builtin_trap();
  return 0;
}
