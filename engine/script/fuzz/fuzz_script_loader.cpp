// Feeds arbitrary bytes to the script loader, then exercises every lookup
// and the validator on what it built: none may crash, hang or read out of
// bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/script/script.h"
#include "engine/script/validation.h"
#include "engine/script/variables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  engine::Script s = engine::ParseScript(bytes);
  const int n = s.Count();
  for (int i = 0; i < n && i < 64; ++i) {
    for (int k = 0; k <= 18; ++k) (void)s.Param(i, k);
    (void)s.HeaderCode(i);
    (void)s.Disabled(i);
    (void)s.PayloadFolder(i);
  }
  (void)s.Param(-1, 1);
  (void)s.Param(n + 5, 1);
  (void)s.ComponentSize("ZEKO-PREDEF-COMPONENT");
  (void)s.WebPassword("offline");
  engine::Variables vars;
  engine::ValidationResult r = engine::ValidateScript(s, vars);
  (void)r;
  return 0;
}
