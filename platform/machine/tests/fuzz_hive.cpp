// Hive text from anywhere: parsing never crashes, and what the registry
// writes for a hive it read is read back to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/machine/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  // Most inputs should get past the header.
  if (size > 0 && (data[0] & 1)) bytes = "REGEDIT4\r\n[HKEY_CURRENT_USER\\K]\r\n" + bytes;
  machine::HiveCheck first = machine::CheckHiveText(bytes, "HKEY_CURRENT_USER");
  machine::HiveCheck again = machine::CheckHiveText(first.normalized, "HKEY_CURRENT_USER");
  if (again.malformed || again.normalized != first.normalized) std::abort();
  return 0;
}
