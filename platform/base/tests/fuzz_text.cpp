// Comma text and code-page conversions must round-trip whatever they get.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string in(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> items = base::FromCommaText(in);
  if (base::FromCommaText(base::ToCommaText(items)) != items) std::abort();
  if (base::Utf8ToCp1252(base::Cp1252ToUtf8(in)) != in) std::abort();
  std::string u16 = base::Utf8ToUtf16LE(in);
  (void)base::Utf16LEToUtf8(u16);
  (void)base::UpperCase(in);
  (void)base::ParseFloat(in);
  return 0;
}
