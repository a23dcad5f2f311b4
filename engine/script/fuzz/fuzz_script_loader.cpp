// Feeds arbitrary bytes to the script loader, then exercises every lookup
// and the validator on what it built: none may crash, hang or read out of
// bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/script/script.h"
#include "engine/script/validation.h"
#include "engine/script/variables.h"

namespace {

// A small well-formed script; the input is also tried spliced into it, so
// the fuzzer starts from real structure instead of noise.
constexpr std::string_view kTemplate =
    "If\r\nSet Variable\r\nLabel\r\nGoTo Label\r\nEnd\r\n$\r\n"
    "{A}\r\n{B}\r\n{C}\r\n{D}\r\n{E}\r\n$\r\n"
    "{A}\r\nWIZARD\r\n0\r\nNEXT\r\nFALSE\r\n{B}\r\nX$ZEKO$ZEKO$TRUE\r\n$DOLLAR$\r\n{C}\r\nL\r\n{D}\r\nl\r\n$\r\n"
    "\r\nC\r\n\r\n\r\n\r\n$\r\n{P}\r\nTitle\r\n$\r\nCo\r\n\r\n\r\n\r\n\r\n1.0\r\n$\r\n\r\n\r\n\r\n\r\n\r\n$\r\n"
    "1\r\nZEKO-PREDEF-COMPONENT\r\n5\r\n$\r\n{R}\r\n$\r\nFALSE\r\nEnglish\r\nE7518F01\r\n1\r\n$\r\nBUILDMODE\r\nSFX\r\n$\r\n";

void Exercise(std::string_view bytes) {
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  Exercise(in);
  if (size == 0) return 0;
  // Splice the input into the template at a position chosen by its first byte.
  std::size_t at = static_cast<std::size_t>(data[0]) * kTemplate.size() / 256;
  std::string spliced(kTemplate.substr(0, at));
  spliced.append(in.substr(1));
  spliced.append(kTemplate.substr(at));
  Exercise(spliced);
  return 0;
}
