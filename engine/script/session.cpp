// Session helpers: the caption rule and the support-folder removal.
#include "engine/script/session.h"

#include <filesystem>
#include <system_error>

#include "engine/script/variables.h"
#include "platform/base/text.h"
#include "platform/machine/machine.h"

namespace engine {

namespace fs = std::filesystem;

std::string Session::Caption() const {
  const std::string product = "Corvane";
  std::string title = variables ? variables->Get("TITLE") : std::string();
  if (variables && base::SameText(variables->Get("ZEKOLOGO"), "TRUE")) return title;
  if (!title.empty()) return title + " - " + product + " Wizard";
  return product + " Wizard";
}

namespace {
// Deletes everything inside `dir`; entries that resist are left for the
// next round.  Files are made writable first (the host's "normal
// attributes").
void DeleteContents(const fs::path& dir) {
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
  for (const fs::path& p : entries) {
    std::error_code e2;
    fs::permissions(p, fs::perms::owner_all, fs::perm_options::add, e2);
    if (fs::is_directory(fs::symlink_status(p, e2))) {
      DeleteContents(p);
      fs::remove(p, e2);
    } else {
      fs::remove(p, e2);
    }
  }
}
}  // namespace

void RemoveSupportFolder(Session& session) {
  if (session.supportFolder.empty()) return;
  std::string host = machine::Machine::Current().ToHost(session.supportFolder);
  if (host.empty()) return;
  std::error_code ec;
  fs::path dir(host);
  if (!fs::is_directory(dir, ec)) return;
  for (int round = 0; round < 3; ++round) DeleteContents(dir);
  fs::remove(dir, ec);
}

}  // namespace engine
