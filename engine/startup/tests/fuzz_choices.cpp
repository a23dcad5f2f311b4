// Any bytes read as a choices file: no crash, and what was read writes out
// and reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/startup/choices_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const engine::ChoicesData a = engine::ParseChoices(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!a.hasLists) return 0;
  const engine::ChoicesData b = engine::ParseChoices(base::Utf8ToCp1252(engine::FormatChoices(a)));
  const bool same = b.hasLists && a.names.Items() == b.names.Items() && a.states.Items() == b.states.Items() &&
                    a.deleted.Items() == b.deleted.Items() && a.hidden.Items() == b.hidden.Items() &&
                    a.locked.Items() == b.locked.Items() && a.sizes.Items() == b.sizes.Items() &&
                    a.targetDir.value_or("") == b.targetDir.value_or("") &&
                    a.allUsers.value_or("") == b.allUsers.value_or("") &&
                    a.startMenu.value_or("") == b.startMenu.value_or("") &&
                    a.dataFolder.value_or("") == b.dataFolder.value_or("") && a.pairs == b.pairs;
  if (!same) std::abort();
  return 0;
}
