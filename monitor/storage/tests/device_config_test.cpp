// The ".rdc" configuration file: layout, round trip and refusals.
#include <gtest/gtest.h>

#include "monitor/storage/device_config_file.h"
#include "monitor/storage/tests/test_util.h"

namespace kv90 {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

LoggerConfig ThreeDevices() {
  LoggerConfig c;
  c.DeviceCount = 3;
  c.DevVer = 0x0102;
  const char name[] = "\0K\0v\0009\0000\0A";
  for (int i = 0; i < 10; ++i) c.DevName[i] = static_cast<std::uint8_t>(name[i]);
  c.RdTime = 5;
  c.WrTime = 1;
  c.Devices[0] = {1, 2, 0, 6, 5};
  c.Devices[1] = {2, 7, 12, 2, 1};
  c.Devices[2] = {0x1234, 3, 100, 3, 2};
  return c;
}

TEST(DeviceConfig, LayoutAndRoundTrip) {
  TempDir dir;
  const std::string path = dir / "sub/data.rdc";
  std::string err;
  ASSERT_TRUE(WriteDeviceConfig(path, ThreeDevices(), err)) << err;
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 48u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\3\0\2\1", 4));
  EXPECT_EQ(bytes.substr(14, 4), std::string("\5\0\1\0", 4));
  EXPECT_EQ(bytes.substr(38, 4), std::string("\x34\x12\3\0", 4));
  // Graph settings after the device table are ignored by reading and
  // dropped by the next write.
  WriteFile(path, bytes + std::string(16, '\1') + "settings");
  LoggerConfig back;
  ASSERT_TRUE(ReadDeviceConfig(path, back, err)) << err;
  EXPECT_EQ(back, ThreeDevices());
  ASSERT_TRUE(WriteDeviceConfig(path, back, err));
  EXPECT_EQ(ReadFile(path), bytes);
}

TEST(DeviceConfig, MissingFileMeansNoConfiguration) {
  TempDir dir;
  LoggerConfig c = ThreeDevices();
  std::string err;
  ASSERT_TRUE(ReadDeviceConfig(dir / "none.rdc", c, err));
  EXPECT_EQ(c, LoggerConfig{});
  EXPECT_FALSE(c.Known());
}

TEST(DeviceConfig, RefusesWhatCannotBeRight) {
  TempDir dir;
  const std::string good = EncodeDeviceConfig(ThreeDevices());
  struct Case { const char* name; std::string bytes; const char* says; };
  std::string seventeen = good;
  seventeen[0] = 17;
  const Case cases[] = {
      {"seventeen devices", seventeen + std::string(140, '\0'), "at most 16 devices"},
      {"shorter than its device table", good.substr(0, 40), "needs 48 bytes"},
      {"shorter than the header", good.substr(0, 10), "needs 18 bytes"},
  };
  for (const auto& c : cases) {
    const std::string path = dir / "x.rdc";
    WriteFile(path, c.bytes);
    LoggerConfig cfg;
    std::string err;
    EXPECT_FALSE(ReadDeviceConfig(path, cfg, err)) << c.name;
    EXPECT_NE(err.find(c.says), std::string::npos) << c.name << ": " << err;
    EXPECT_NE(err.find(path), std::string::npos) << c.name;
  }
  LoggerConfig tooMany;
  tooMany.DeviceCount = 17;
  std::string err;
  EXPECT_FALSE(WriteDeviceConfig(dir / "y.rdc", tooMany, err));
  EXPECT_FALSE(std::filesystem::exists(dir / "y.rdc"));
  EXPECT_FALSE(WriteDeviceConfig(dir / "z.rdc", LoggerConfig{}, err));  // 0xFFFF is never written
  EXPECT_NE(err.find("No logger configuration"), std::string::npos) << err;
}

}  // namespace
}  // namespace kv90
