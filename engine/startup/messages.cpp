// Engine message table: see messages.h.
#include "engine/startup/messages.h"

#include <array>

#include "platform/base/files.h"
#include "platform/base/text.h"

namespace engine {
namespace {

std::array<std::string, kMessageSlots + 1> Defaults() {
  std::array<std::string, kMessageSlots + 1> t{};
  t[1] = "Please install the common controls update from Microsoft before attempting to install this product.";
  t[2] = "Setup resource not found";
  t[3] = "Setup resource decompression failure";
  t[4] = "Setup database not found";
  t[5] = "Runtime error in install: ";
  t[6] = "bytes";
  t[7] = "KB";
  t[8] = "MB";
  t[9] = "Attempting to get value of undefined variable ";
  t[10] = "Attempting to set value of undefined variable ";
  t[11] = "Copying: ";
  t[12] = "Unable to copy installation data to local folders";
  t[13] = "Downloading Web Media: ";
  t[14] = "Unable to download installation data from the web";
  t[15] = "Extracting Web Media: ";
  t[16] = "Unable to extract installation data downloaded from the web";
  t[17] = "Please locate your original setup sources to continue operation";
  t[18] = "Original setup sources required to complete operation, sources not found";
  t[19] = "General setup failure";
  t[20] = "Runtime error in setup script:";
  t[21] = "% complete";
  t[22] = "bytes received";
  t[23] = "Corvane Wizard";
  t[24] = "Corvane is preparing the Corvane Wizard which will install this application. Please wait.";
  return t;
}

std::array<std::string, kMessageSlots + 1>& Table() {
  static std::array<std::string, kMessageSlots + 1> table = Defaults();
  return table;
}

}  // namespace

const std::string& Message(Msg slot) { return Table()[static_cast<std::size_t>(slot)]; }

void ResetMessages() { Table() = Defaults(); }

bool LoadMessages(const std::string& hostPath, std::string_view userLanguage) {
  const auto bytes = base::ReadFileBytes(hostPath);
  if (!bytes) return false;
  const std::vector<std::string> lines = base::SplitLines(base::Cp1252ToUtf8(*bytes));
  std::size_t pos = 0;
  auto readBlock = [&] {
    for (int slot = 1; slot <= kMessageSlots && pos < lines.size(); ++slot) Table()[slot] = lines[pos++];
  };
  readBlock();
  while (pos < lines.size()) {
    const std::string name = lines[pos++];
    readBlock();
    if (!userLanguage.empty() && base::SameText(name, userLanguage)) break;
  }
  return true;
}

}  // namespace engine
