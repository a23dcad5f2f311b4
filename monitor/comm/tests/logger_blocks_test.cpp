// Block layouts, device-table decoding, channel values and names.
#include <gtest/gtest.h>

#include "monitor/comm/logger_blocks.h"

using namespace kv90;

namespace {
std::string B(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}
void Word(std::string& s, unsigned v) {
  s.push_back(static_cast<char>(v >> 8));
  s.push_back(static_cast<char>(v & 0xFF));
}
std::string Entry(DeviceEntry e) {
  std::string s;
  for (unsigned w : {e.Address, e.Type, e.Register, e.Words, e.Format}) Word(s, w);
  return s;
}
std::string Table(const std::vector<DeviceEntry>& entries) {
  std::string s;
  for (const auto& e : entries) s += Entry(e);
  s.resize(160, '\0');
  return s;
}
LoggerConfig Config(const std::vector<DeviceEntry>& devices) {
  LoggerConfig c;
  c.DeviceCount = static_cast<std::uint16_t>(devices.size());
  for (std::size_t i = 0; i < devices.size(); ++i) c.Devices[i] = devices[i];
  return c;
}
}  // namespace

TEST(DeviceTable, CountTable) {
  const DeviceEntry a{1, 2, 0, 4, 1}, b{2, 3, 0, 3, 2}, off{0, 0, 0, 0, 0};
  struct Case { const char* name; std::string table; int count; };
  std::vector<DeviceEntry> sixteen(16, DeviceEntry{9, 2, 0, 1, 0});
  std::vector<DeviceEntry> wide(16, DeviceEntry{9, 2, 0, 20, 4});  // 40 words each
  const Case cases[] = {
      {"third entry Type 0 gives two", Table({a, b, off, a}), 2},
      {"first entry Type 0 gives none", Table({off, a}), 0},
      {"sixteen valid entries give fifteen", Table(sixteen), 15},
      {"running total of 50 stops the table", Table(wide), 2},
      {"a short field stops early", Table({a, b}).substr(0, 25), 2},
  };
  for (const auto& c : cases) {
    LoggerConfig cfg;
    DecodeDeviceTable(c.table, cfg);
    EXPECT_EQ(c.count, cfg.DeviceCount) << c.name;
    for (int i = cfg.DeviceCount; i < kMaxDevices; ++i)
      EXPECT_EQ(DeviceEntry{}, cfg.Devices[static_cast<std::size_t>(i)]) << c.name << " entry " << i;
  }
}

TEST(ConfigBlock, DecodesFieldsAndCounts) {
  std::string b = B({251, 0x41, 0, 1, 0, 188});
  Word(b, 130);
  for (char ch : std::string("KV9")) Word(b, static_cast<unsigned char>(ch));
  Word(b, 0);
  Word(b, 0x4141);  // after the zero: not part of the name
  Word(b, 5);
  Word(b, 15);
  for (unsigned v : {0x00010002u, 0u, 200u}) { Word(b, v & 0xFFFF); Word(b, v >> 16); }
  b += Table({{1, 2, 0, 4, 1}, {3, 7, 12, 6, 5}});
  ASSERT_EQ(194u, b.size());
  ConfigBlock f;
  LoggerConfig cfg;
  ASSERT_TRUE(DecodeConfigBlock(b, f, cfg));
  EXPECT_EQ("KV9", DeviceNameText(cfg.DevName));
  EXPECT_EQ(130, cfg.DevVer);
  EXPECT_EQ(5, cfg.RdTime);
  EXPECT_EQ(15, cfg.WrTime);
  EXPECT_EQ(0x00010002u, f.SegmentCnt);  // low word first
  EXPECT_EQ(0u, f.SegmentAktCnt);
  EXPECT_EQ(200u, f.SegmentSetCnt);
  EXPECT_EQ(2, cfg.DeviceCount);
  EXPECT_EQ(7, cfg.Devices[1].Type);
  EXPECT_EQ(2 * (4 + 6), MeasuredByteCount(cfg));
  EXPECT_EQ(2 * (4 + 6) + 12, LineByteCount(cfg));
  EXPECT_EQ(4 + 3, TotalChannels(cfg));
  EXPECT_FALSE(DecodeConfigBlock(b.substr(0, 20), f, cfg));
  EXPECT_EQ(0, LineByteCount(LoggerConfig{}));
}

TEST(Channels, DecodeAndTextTable) {
  struct Case { const char* name; std::string raw; int format; ByteOrder order; double value; const char* text; };
  const auto BE = ByteOrder::BlockBigEndian, LE = ByteOrder::LineLittleEndian;
  const Case cases[] = {
      {"1234 with two decimals", B({0x04, 0xD2}), 2, BE, 12.34, "12.34"},
      {"50 with two decimals", B({0x00, 0x32}), 2, BE, 0.5, "0.50"},
      {"format 1 whole number", B({0x00, 0x64}), 1, BE, 10, "10.0"},
      {"format 0 negative", B({0xFF, 0xFE}), 0, BE, -2, "-2"},
      {"format 3", B({0x00, 0x07}), 3, BE, 0.007, "0.007"},
      {"status code is not scaled", B({0xAA, 0x0D}), 2, BE, -22003, "-22003"},
      {"-21999 is scaled", B({0xAA, 0x11}), 1, BE, -2199.9, "-2199.9"},
      {"4-byte block low word first", B({0x00, 0x64, 0x00, 0x01}), 4, BE, 65636, "65636"},
      {"4-byte line little-endian", B({0x64, 0x00, 0x01, 0x00}), 4, LE, 65636, "65636"},
      {"4-byte both halves status", B({0xAA, 0x0D, 0xAA, 0x0D}), 5, BE, -22003, "-22003"},
      {"4-byte format 5 scaled", B({0x00, 0x64, 0x00, 0x01}), 5, BE, 6563.6, "6563.6"},
      {"4-byte negative", B({0xFF, 0xF6, 0xFF, 0xFF}), 5, BE, -1, "-1.0"},
      {"2-byte line little-endian", B({0xD2, 0x04}), 2, LE, 12.34, "12.34"},
      {"format 8 text empty", B({0, 1, 0, 0}), 8, BE, 1, ""},
  };
  for (const auto& c : cases) {
    const double v = DecodeChannel(reinterpret_cast<const unsigned char*>(c.raw.data()), c.format, c.order);
    EXPECT_DOUBLE_EQ(c.value, v) << c.name;
    EXPECT_EQ(c.text, ValueText(v, c.format)) << c.name;
  }
  EXPECT_EQ("12,34", ValueText(12.34, 2, ','));
}

TEST(Channels, MeasuredBlockInDeviceOrder) {
  const LoggerConfig cfg = Config({{1, 2, 0, 3, 2}, {2, 4, 0, 6, 5}});
  EXPECT_EQ(3, ChannelCount(cfg.Devices[0]));
  EXPECT_EQ(3, ChannelCount(cfg.Devices[1]));
  std::string b = B({251, 0x41, 0, 2, 0, 18});
  for (unsigned w : {1234u, 50u, 7u}) Word(b, w);
  for (unsigned w : {0x0064u, 0x0001u, 10u, 0u, 0xAA0Du, 0xAA0Du}) Word(b, w);
  EXPECT_EQ(18, ValuesReturnDataCnt(b));
  const auto v = DecodeMeasuredValues(b, cfg);
  ASSERT_EQ(6u, v.size());
  const char* texts[] = {"12.34", "0.50", "0.07", "6563.6", "1.0", "-22003"};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(texts[i], v[i].Text) << i;
  EXPECT_EQ(5u, DecodeMeasuredValues(b.substr(0, 20), cfg).size());  // short block: as far as it goes
  EXPECT_EQ(4u, DecodeMeasuredValues(b.substr(0, 19), cfg).size());
}

TEST(Channels, LoggerLine) {
  const LoggerConfig cfg = Config({{1, 2, 0, 1, 1}, {2, 4, 0, 2, 4}});
  std::string line = B({26, 12, 10, 21, 30, 5, 0x0A, 0x00, 0x64, 0x00, 0x01, 0x00});
  unsigned sum = 0;
  for (unsigned char ch : line) sum += ch;
  line += B({static_cast<int>(sum & 0xFF), static_cast<int>((sum >> 8) & 0xFF), 0xAB, 0x56, 0xAB, 0x56});
  ASSERT_EQ(static_cast<std::size_t>(LineByteCount(cfg)), line.size());
  const LoggerLine l = DecodeLoggerLine(line, cfg);
  EXPECT_TRUE(l.ChecksumOk);
  ASSERT_EQ(2u, l.Values.size());
  EXPECT_DOUBLE_EQ(1.0, l.Values[0]);
  EXPECT_DOUBLE_EQ(65636, l.Values[1]);
  EXPECT_GT(l.Time, 40000);
  line[7] ^= 1;
  EXPECT_FALSE(DecodeLoggerLine(line, cfg).ChecksumOk);
}

TEST(Names, ChannelNamesAndCaptions) {
  const LoggerConfig cfg = Config({{1, 1, 40, 2, 0}, {2, 2, 0, 3, 0}, {3, 5, 0, 4, 0}, {4, 7, 12, 2, 4},
                                   {5, 7, 52, 2, 4}, {6, 9, 0, 1, 0}});
  struct Case { int device, channel; const char* name; };
  const Case cases[] = {
      {0, 0, "R40"}, {0, 1, "R40"}, {1, 2, "C3"}, {2, 0, "C1"}, {2, 1, "SP1"}, {2, 2, "C2"},
      {2, 3, "C3"},  {3, 0, "A-L1"}, {4, 0, "PF-L3"}, {5, 0, "-"}, {2, 4, ""}, {1, -1, ""}, {6, 0, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.name, ChannelName(cfg, c.device, c.channel)) << c.device << "/" << c.channel;
  EXPECT_EQ("Kv36_addr3", DeviceCaption(cfg, 2));
  EXPECT_EQ("EM24_addr4_A-L1", DeviceCaption(cfg, 3, true));
  EXPECT_EQ("unknown_addr6", DeviceCaption(cfg, 5));
  EXPECT_EQ("", DeviceCaption(cfg, 6));
  const GraphSettingsLookup lookup = [](int d, GraphNames& g) {
    if (d != 1) return false;
    g.Title = "Boiler";
    g.Curves = {"in", "out"};
    return true;
  };
  EXPECT_EQ("Boiler", DeviceCaption(cfg, 1, false, lookup));
  EXPECT_EQ("out", ChannelName(cfg, 1, 1, lookup));
  EXPECT_EQ("C3", ChannelName(cfg, 1, 2, lookup));  // no curve 3 in the file
  EXPECT_EQ("Kv36_addr3", DeviceCaption(cfg, 2, false, lookup));
  EXPECT_STREQ("Off", DeviceTypeName(0));
  EXPECT_STREQ("unknown", DeviceTypeName(8));
}
