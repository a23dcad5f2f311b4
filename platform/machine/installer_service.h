// The installer service's product records (first slice: registration and
// the queries a setup asks before it installs).
//
//   installer/products/machine/<code>.ini        products installed for all users
//   installer/products/users/<user>/<code>.ini   products installed for one user
//
// A record holds the product code, package code, state, whether it was
// installed per machine or per user, and the values of its uninstall key.
// Registering a product also writes that uninstall key into the registry
// (HKLM, in the package's view, for a per-machine product; the user's HKCU
// for a per-user one), with the service's own rights.
//
// Invariants:
//  1. A product is seen by the user it was installed for, or by every user
//     when it was installed per machine; a per-user installation of the
//     current user wins over a per-machine one of the same code.
//  2. Each record file is written whole and atomically.
//  3. Product codes are GUIDs in braces; they are compared without regard to
//     case and stored upper-case.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace machine {

class Machine;

// Install states as the installer reports them.
constexpr int kInstallStateInvalidArg = -2;
constexpr int kInstallStateUnknown = -1;  // not installed for this user
constexpr int kInstallStateAdvertised = 1;
constexpr int kInstallStateAbsent = 2;
constexpr int kInstallStateDefault = 5;   // installed

// Result codes of the product queries.
constexpr unsigned kInstallerOk = 0;
constexpr unsigned kInstallerInvalidParameter = 87;
constexpr unsigned kInstallerUnknownProduct = 1605;
constexpr unsigned kInstallerUnknownProperty = 1608;

struct ProductRecord {
  std::string productCode;
  std::string packageCode;
  std::string productName;
  std::string version;       // "1.2.3"
  std::string manufacturer;
  int state = kInstallStateDefault;
  bool perMachine = true;    // ALLUSERS: installed for every user
  std::string userName;      // per-user products: whose (the current user when empty)
  bool x64 = false;          // a 64-bit package: its uninstall key in the 64-bit view
  std::string installLocation;
  std::string installDate;   // yyyymmdd; today when empty
  std::string uninstallKey;  // name of its uninstall key; the product code when empty
  // Values of the uninstall key beyond the defaults (DisplayName,
  // DisplayVersion, Publisher, InstallLocation, UninstallString,
  // WindowsInstaller); a name given here replaces the default.
  std::vector<std::pair<std::string, std::string>> uninstallValues;
};

class InstallerService {
 public:
  explicit InstallerService(const Machine& m);

  // Records the product (replacing an earlier record of the same code and
  // scope) and writes its uninstall key.  False if the code is not a GUID or
  // a file could not be written.
  bool RegisterProduct(const ProductRecord& product);
  // Removes the record and its uninstall key; false if there was none.
  bool UnregisterProduct(std::string_view productCode, bool perMachine, std::string_view userName = {});

  // The product's state for the current user: kInstallStateDefault (5) when
  // installed, kInstallStateAdvertised, kInstallStateUnknown when it is not
  // installed for this user, kInstallStateInvalidArg for a code that is not
  // a GUID.
  int QueryProductState(std::string_view productCode) const;
  // A property of a product seen by the current user: "PackageCode",
  // "ProductName", "VersionString", "Publisher", "InstallLocation",
  // "InstallDate", "AssignmentType" ("1" per machine, "0" per user),
  // "UninstallKey".
  unsigned GetProductInfo(std::string_view productCode, std::string_view property, std::string& value) const;
  // The record the current user sees, if any.
  std::optional<ProductRecord> FindProduct(std::string_view productCode) const;
  // Every record the current user sees.
  std::vector<ProductRecord> Products() const;

  std::string RecordPath(std::string_view productCode, bool perMachine, std::string_view userName) const;

 private:
  std::optional<ProductRecord> Load(const std::string& path) const;
  std::string UninstallKeyPath(const ProductRecord& p) const;

  const Machine& machine_;
};

}  // namespace machine
