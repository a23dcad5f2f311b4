#include "platform/machine/installer_service.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>

#include "platform/base/datetime.h"
#include "platform/base/files.h"
#include "platform/base/ini_file.h"
#include "platform/base/text.h"
#include "platform/machine/machine.h"
#include "platform/machine/registry.h"

namespace machine {
namespace {

constexpr const char* kUninstallRoot = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char* kUserUninstallRoot = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string Today() { return base::FormatDateTime("yyyymmdd", base::Now()); }

std::string UserOf(const Machine& m, const ProductRecord& p) {
  return p.userName.empty() ? m.profile().userName : p.userName;
}

// Uninstall key values: the defaults, then the caller's (replacing by name).
std::vector<std::pair<std::string, std::string>> UninstallValues(const ProductRecord& p) {
  std::vector<std::pair<std::string, std::string>> v = {
      {"DisplayName", p.productName},
      {"DisplayVersion", p.version},
      {"Publisher", p.manufacturer},
      {"InstallLocation", p.installLocation},
      {"InstallDate", p.installDate},
      {"UninstallString", "MsiExec.exe /X" + p.productCode},
  };
  for (const auto& [name, value] : p.uninstallValues) {
    bool replaced = false;
    for (auto& [n, old] : v)
      if (base::SameText(n, name)) {
        old = value;
        replaced = true;
      }
    if (!replaced) v.emplace_back(name, value);
  }
  return v;
}

}  // namespace

InstallerService::InstallerService(const Machine& m) : machine_(m) {}

std::string InstallerService::RecordPath(std::string_view code, bool perMachine, std::string_view user) const {
  std::string who(user.empty() ? std::string_view(machine_.profile().userName) : user);
  if (!perMachine && (who == "." || who == ".." || who.find('/') != std::string::npos)) return {};
  if (code.find('/') != std::string_view::npos) return {};
  std::string dir = machine_.Root() + "/installer/products/";
  dir += perMachine ? std::string("machine") : "users/" + who;
  return dir + "/" + base::UpperCase(code) + ".ini";
}

std::string InstallerService::UninstallKeyPath(const ProductRecord& p) const {
  std::string name = p.uninstallKey.empty() ? p.productCode : p.uninstallKey;
  return std::string(p.perMachine ? kUninstallRoot : kUserUninstallRoot) + name;
}

bool InstallerService::RegisterProduct(const ProductRecord& in) {
  if (!base::IsGuid(in.productCode)) return false;
  ProductRecord p = in;
  p.productCode = base::UpperCase(p.productCode);
  p.userName = p.perMachine ? std::string() : UserOf(machine_, p);
  if (p.installDate.empty()) p.installDate = Today();

  base::TMemIniFile ini("");
  const char* s = "Product";
  ini.WriteString(s, "ProductCode", p.productCode);
  ini.WriteString(s, "PackageCode", p.packageCode);
  ini.WriteString(s, "ProductName", p.productName);
  ini.WriteString(s, "Version", p.version);
  ini.WriteString(s, "Manufacturer", p.manufacturer);
  ini.WriteInteger(s, "State", p.state);
  ini.WriteBool(s, "PerMachine", p.perMachine);
  ini.WriteString(s, "UserName", p.userName);
  ini.WriteBool(s, "X64", p.x64);
  ini.WriteString(s, "InstallLocation", p.installLocation);
  ini.WriteString(s, "InstallDate", p.installDate);
  ini.WriteString(s, "UninstallKey", p.uninstallKey);
  // Values in order, as numbered pairs (names may hold any character).
  for (std::size_t i = 0; i < p.uninstallValues.size(); ++i) {
    ini.WriteString("Uninstall", "Name" + std::to_string(i), p.uninstallValues[i].first);
    ini.WriteString("Uninstall", "Value" + std::to_string(i), p.uninstallValues[i].second);
  }
  std::string path = RecordPath(p.productCode, p.perMachine, p.userName);
  if (path.empty()) return false;
  if (!base::ForceDirectories(base::ExtractFileDir(path))) return false;
  if (!base::WriteFileAtomic(path, base::Utf8ToCp1252(ini.Text()))) return false;

  // The uninstall key, written with the service's rights.
  Registry reg(machine_, /*systemRights=*/true);
  RegRoot root = p.perMachine ? RegRoot::LocalMachine : RegRoot::CurrentUser;
  unsigned view = p.x64 ? kWow64_64Key : kWow64_32Key;
  if (!p.perMachine && !base::SameText(p.userName, machine_.profile().userName)) {
    root = RegRoot::Users;
  }
  std::string key = UninstallKeyPath(p);
  if (root == RegRoot::Users) key = p.userName + "\\" + key;
  bool ok = true;
  for (const auto& [name, value] : UninstallValues(p))
    ok = reg.SetValue(root, key, name, RegValue::String(value), view) == kRegOk && ok;
  ok = reg.SetValue(root, key, "WindowsInstaller", RegValue::DWord(1), view) == kRegOk && ok;
  return ok;
}

bool InstallerService::UnregisterProduct(std::string_view code, bool perMachine, std::string_view userName) {
  std::string path = RecordPath(code, perMachine, userName);
  std::optional<ProductRecord> p = Load(path);
  if (!p) return false;
  unlink(path.c_str());
  Registry reg(machine_, true);
  std::string key = UninstallKeyPath(*p);
  RegRoot root = RegRoot::LocalMachine;
  if (!p->perMachine) {
    root = base::SameText(p->userName, machine_.profile().userName) ? RegRoot::CurrentUser : RegRoot::Users;
    if (root == RegRoot::Users) key = p->userName + "\\" + key;
  }
  reg.DeleteKey(root, key, p->x64 ? kWow64_64Key : kWow64_32Key);
  return true;
}

std::optional<ProductRecord> InstallerService::Load(const std::string& path) const {
  if (path.empty() || !base::FileExists(path)) return std::nullopt;
  base::TMemIniFile ini(path);
  if (!ini.Loaded()) return std::nullopt;
  const char* s = "Product";
  ProductRecord p;
  p.productCode = ini.ReadString(s, "ProductCode", "");
  if (!base::IsGuid(p.productCode)) return std::nullopt;
  p.packageCode = ini.ReadString(s, "PackageCode", "");
  p.productName = ini.ReadString(s, "ProductName", "");
  p.version = ini.ReadString(s, "Version", "");
  p.manufacturer = ini.ReadString(s, "Manufacturer", "");
  p.state = static_cast<int>(ini.ReadInteger(s, "State", kInstallStateDefault));
  p.perMachine = ini.ReadBool(s, "PerMachine", true);
  p.userName = ini.ReadString(s, "UserName", "");
  p.x64 = ini.ReadBool(s, "X64", false);
  p.installLocation = ini.ReadString(s, "InstallLocation", "");
  p.installDate = ini.ReadString(s, "InstallDate", "");
  p.uninstallKey = ini.ReadString(s, "UninstallKey", "");
  for (int i = 0; ini.ValueExists("Uninstall", "Name" + std::to_string(i)); ++i)
    p.uninstallValues.emplace_back(ini.ReadString("Uninstall", "Name" + std::to_string(i), ""),
                                   ini.ReadString("Uninstall", "Value" + std::to_string(i), ""));
  return p;
}

std::optional<ProductRecord> InstallerService::FindProduct(std::string_view code) const {
  if (!base::IsGuid(code)) return std::nullopt;
  if (auto p = Load(RecordPath(code, false, machine_.profile().userName))) return p;
  return Load(RecordPath(code, true, {}));
}

int InstallerService::QueryProductState(std::string_view code) const {
  if (!base::IsGuid(code)) return kInstallStateInvalidArg;
  std::optional<ProductRecord> p = FindProduct(code);
  if (!p || p->state == kInstallStateAbsent) return kInstallStateUnknown;
  return p->state;
}

unsigned InstallerService::GetProductInfo(std::string_view code, std::string_view property,
                                          std::string& value) const {
  if (!base::IsGuid(code) || property.empty()) return kInstallerInvalidParameter;
  std::optional<ProductRecord> p = FindProduct(code);
  if (!p || p->state == kInstallStateAbsent) return kInstallerUnknownProduct;
  struct { const char* name; std::string value; } props[] = {
      {"PackageCode", p->packageCode},
      {"ProductName", p->productName},
      {"VersionString", p->version},
      {"Publisher", p->manufacturer},
      {"InstallLocation", p->installLocation},
      {"InstallDate", p->installDate},
      {"AssignmentType", p->perMachine ? "1" : "0"},
      {"UninstallKey", p->uninstallKey.empty() ? p->productCode : p->uninstallKey},
  };
  for (const auto& pr : props)
    if (property == pr.name) {  // property names are case-sensitive, as the installer's are
      value = pr.value;
      return kInstallerOk;
    }
  return kInstallerUnknownProperty;
}

std::vector<ProductRecord> InstallerService::Products() const {
  std::vector<ProductRecord> out;
  auto scan = [&](const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".ini") == 0) names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names)
      if (auto p = Load(dir + "/" + n)) {
        bool seen = false;
        for (const ProductRecord& o : out) seen = seen || base::SameText(o.productCode, p->productCode);
        if (!seen) out.push_back(*p);
      }
  };
  std::string base = machine_.Root() + "/installer/products/";
  scan(base + "users/" + machine_.profile().userName);
  scan(base + "machine");
  return out;
}

}  // namespace machine
