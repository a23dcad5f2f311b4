// Helper process of the registry tests: writes <count> values named
// <tag>_<i> into HKLM\SOFTWARE\Stress and HKCU\Software\Stress of the machine
// folder given, one change at a time.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/machine/machine.h"
#include "platform/machine/registry.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  machine::Machine m(argv[1]);
  std::string tag = argv[2];
  int count = std::atoi(argv[3]);
  for (int i = 0; i < count; ++i) {
    std::string name = tag + "_" + std::to_string(i);
    if (m.registry().SetValue(machine::RegRoot::LocalMachine, "SOFTWARE\\Stress", name,
                              machine::RegValue::DWord(static_cast<std::uint32_t>(i)), machine::kWow64_64Key) !=
        machine::kRegOk)
      return 1;
    if (m.registry().SetValue(machine::RegRoot::CurrentUser, "Software\\Stress", name,
                              machine::RegValue::String(name)) != machine::kRegOk)
      return 1;
  }
  return 0;
}
