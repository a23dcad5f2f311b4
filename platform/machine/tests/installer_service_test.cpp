#include "platform/machine/installer_service.h"

#include <gtest/gtest.h>

#include "platform/machine/machine.h"
#include "platform/machine/registry.h"
#include "platform/machine/tests/test_util.h"

namespace machine {
namespace {

using machine_test::TempDir;

const char* kA = "{11111111-1111-1111-1111-111111111111}";
const char* kB = "{22222222-2222-2222-2222-222222222222}";
const char* kC = "{33333333-3333-3333-3333-333333333333}";
const char* kD = "{44444444-4444-4444-4444-444444444444}";
const char* kPkg1 = "{AAAAAAAA-0000-0000-0000-000000000001}";
const char* kPkg2 = "{AAAAAAAA-0000-0000-0000-000000000002}";
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

ProductRecord Product(const char* code, const char* pkg, bool perMachine, std::string user = {}) {
  ProductRecord p;
  p.productCode = code;
  p.packageCode = pkg;
  p.productName = "Wattline";
  p.version = "2.1.0";
  p.manufacturer = "Ferrix";
  p.perMachine = perMachine;
  p.userName = std::move(user);
  return p;
}

class Installer : public ::testing::Test {
 protected:
  TempDir dir;
  Machine m{dir / "m"};
  InstallerService svc{m};
};

TEST_F(Installer, StatesSeenByTheCurrentUser) {
  ASSERT_TRUE(svc.RegisterProduct(Product(kA, kPkg1, true)));
  ASSERT_TRUE(svc.RegisterProduct(Product(kB, kPkg1, false)));
  ASSERT_TRUE(svc.RegisterProduct(Product(kC, kPkg1, false, "SomeoneElse")));
  ProductRecord adv = Product(kD, kPkg1, true);
  adv.state = kInstallStateAdvertised;
  ASSERT_TRUE(svc.RegisterProduct(adv));
  struct { std::string code; int state; } cases[] = {
      {kA, kInstallStateDefault},
      {"{11111111-1111-1111-1111-111111111111}", kInstallStateDefault},
      {kB, kInstallStateDefault},
      {kC, kInstallStateUnknown},  // another user's product
      {kD, kInstallStateAdvertised},
      {"{99999999-1111-1111-1111-111111111111}", kInstallStateUnknown},
      {"11111111-1111-1111-1111-111111111111", kInstallStateInvalidArg},
      {"{../../profile}", kInstallStateInvalidArg},
      {"", kInstallStateInvalidArg},
  };
  for (const auto& c : cases) EXPECT_EQ(svc.QueryProductState(c.code), c.state) << c.code;
  // The same records seen by a fresh service object, and lower-case codes.
  std::string lower = "{aaaaaaaa-1111-1111-1111-111111111111}";
  ASSERT_TRUE(svc.RegisterProduct(Product(lower.c_str(), kPkg1, true)));
  EXPECT_EQ(InstallerService(m).QueryProductState("{AAAAAAAA-1111-1111-1111-111111111111}"), kInstallStateDefault);
  EXPECT_EQ(svc.Products().size(), 4u);  // A, B, D and the lower-case one; not C
}

TEST_F(Installer, ProductInfo) {
  ASSERT_TRUE(svc.RegisterProduct(Product(kA, kPkg1, true)));
  std::string v;
  struct { const char* code; const char* prop; unsigned rc; const char* value; } cases[] = {
      {kA, "PackageCode", kInstallerOk, kPkg1},
      {kA, "AssignmentType", kInstallerOk, "1"},
      {kA, "VersionString", kInstallerOk, "2.1.0"},
      {kA, "ProductName", kInstallerOk, "Wattline"},
      {kA, "packagecode", kInstallerUnknownProperty, nullptr},
      {kB, "PackageCode", kInstallerUnknownProduct, nullptr},
      {"junk", "PackageCode", kInstallerInvalidParameter, nullptr},
  };
  for (const auto& c : cases) {
    v = "untouched";
    EXPECT_EQ(svc.GetProductInfo(c.code, c.prop, v), c.rc) << c.prop;
    if (c.value) {
      EXPECT_EQ(v, c.value) << c.prop;
    }
  }
}

// A per-user installation of this user wins over a per-machine one.
TEST_F(Installer, PerUserInstallationWins) {
  ASSERT_TRUE(svc.RegisterProduct(Product(kA, kPkg1, true)));
  ASSERT_TRUE(svc.RegisterProduct(Product(kA, kPkg2, false)));
  std::string v;
  ASSERT_EQ(svc.GetProductInfo(kA, "PackageCode", v), kInstallerOk);
  EXPECT_EQ(v, kPkg2);
  ASSERT_TRUE(svc.UnregisterProduct(kA, false));
  ASSERT_EQ(svc.GetProductInfo(kA, "PackageCode", v), kInstallerOk);
  EXPECT_EQ(v, kPkg1);
  // Another user sees only the per-machine product.
  Profile p = m.profile();
  p.userName = "Other";
  m.SetProfile(p);
  ASSERT_TRUE(svc.RegisterProduct(Product(kB, kPkg1, false)));
  EXPECT_EQ(svc.QueryProductState(kA), kInstallStateDefault);
  p.userName = "Third";
  m.SetProfile(p);
  EXPECT_EQ(svc.QueryProductState(kB), kInstallStateUnknown);
}

TEST_F(Installer, UninstallKeys) {
  Registry& r = m.registry();
  // Registering needs no administrator rights of the user: the service has its own.
  Profile pr = m.profile();
  pr.isAdmin = false;
  m.SetProfile(pr);

  ProductRecord x86 = Product(kA, kPkg1, true);
  x86.installLocation = "C:\\Program Files (x86)\\Ferrix\\Wattline\\";
  ASSERT_TRUE(svc.RegisterProduct(x86));
  EXPECT_EQ(r.ReadString(RegRoot::LocalMachine, kUninstall + kA, "DisplayName", kWow64_32Key), "Wattline");
  EXPECT_EQ(r.ReadString(RegRoot::LocalMachine, kUninstall + kA, "UninstallString", kWow64_32Key),
            std::string("MsiExec.exe /X") + kA);
  EXPECT_EQ(r.ReadDWord(RegRoot::LocalMachine, kUninstall + kA, "WindowsInstaller", kWow64_32Key), 1u);
  EXPECT_FALSE(r.KeyExists(RegRoot::LocalMachine, kUninstall + kA, kWow64_64Key));

  ProductRecord x64 = Product(kB, kPkg1, true);
  x64.x64 = true;
  ASSERT_TRUE(svc.RegisterProduct(x64));
  EXPECT_TRUE(r.KeyExists(RegRoot::LocalMachine, kUninstall + kB, kWow64_64Key));

  ProductRecord user = Product(kC, kPkg1, false);
  user.uninstallKey = "Wattline";
  user.uninstallValues = {{"UninstallString", "C:\\cache\\setup.exe"}, {"NoModify", "1"}};
  ASSERT_TRUE(svc.RegisterProduct(user));
  const std::string userKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Wattline";
  EXPECT_EQ(r.ReadString(RegRoot::CurrentUser, userKey, "UninstallString"), "C:\\cache\\setup.exe");
  EXPECT_EQ(r.ReadString(RegRoot::CurrentUser, userKey, "NoModify"), "1");
  auto found = svc.FindProduct(kC);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->uninstallValues, user.uninstallValues);
  EXPECT_FALSE(found->perMachine);

  ASSERT_TRUE(svc.UnregisterProduct(kA, true));
  EXPECT_FALSE(r.KeyExists(RegRoot::LocalMachine, kUninstall + kA, kWow64_32Key));
  EXPECT_EQ(svc.QueryProductState(kA), kInstallStateUnknown);
  EXPECT_FALSE(svc.UnregisterProduct(kA, true));
  ASSERT_TRUE(svc.UnregisterProduct(kC, false));
  EXPECT_FALSE(r.KeyExists(RegRoot::CurrentUser, userKey));
}

TEST_F(Installer, RejectsBadCodesAndUsers) {
  EXPECT_FALSE(svc.RegisterProduct(Product("not-a-guid", kPkg1, true)));
  EXPECT_FALSE(svc.RegisterProduct(Product(kA, kPkg1, false, "../../x")));
  EXPECT_FALSE(svc.UnregisterProduct(kA, false, ".."));
}

}  // namespace
}  // namespace machine
