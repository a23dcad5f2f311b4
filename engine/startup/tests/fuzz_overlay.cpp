// Fuzz target: the image-end finder never reads outside the bytes and never
// reports an end beyond them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/startup/overlay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto end = engine::FindImageEnd(bytes);
  if (end && *end > size) std::abort();
  return 0;
}
