#include "monitor/comm/logger_blocks.h"

#include <cmath>

#include "platform/base/datetime.h"
#include "platform/base/text.h"

namespace kv90 {

const std::array<BlockField, 12> kConfigBlockLayout{{
    {"DevAddr", 1, 1},      {"Function", 2, 1},       {"Command", 3, 2},
    {"ReturnDataCnt", 5, 2}, {"DevVer", 7, 2},        {"DevName", 9, 10},
    {"RdTime", 19, 2},      {"WrTime", 21, 2},        {"SegmentCnt", 23, 4},
    {"SegmentAktCnt", 27, 4}, {"SegmentSetCnt", 31, 4}, {"Devices", 35, 160},
}};

const std::array<BlockField, 5> kValuesBlockLayout{{
    {"DevAddr", 1, 1}, {"Function", 2, 1}, {"Command", 3, 2}, {"ReturnDataCnt", 5, 2},
    {"MeasuredValues", 7, -1},
}};

namespace {
inline unsigned U8(std::string_view s, std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; }
}  // namespace

std::string_view ConfigField(std::string_view block, std::string_view name) {
  for (const auto& f : kConfigBlockLayout) {
    if (name != f.Name) continue;
    const auto start = static_cast<std::size_t>(f.Start - 1);
    if (start >= block.size()) return {};
    return block.substr(start, static_cast<std::size_t>(f.Length));
  }
  return {};
}

std::uint16_t ReadWordBE(std::string_view block, int start1) {
  const auto i = static_cast<std::size_t>(start1 - 1);
  return static_cast<std::uint16_t>((U8(block, i) << 8) | U8(block, i + 1));
}

std::uint32_t ReadDWordBE(std::string_view block, int start1) {
  return ReadWordBE(block, start1) + 65536u * ReadWordBE(block, start1 + 2);
}

void DecodeDeviceTable(std::string_view devices, LoggerConfig& cfg) {
  cfg.Devices = {};
  int stored = 0;
  int total = 0;
  bool dropLast = false;
  std::size_t at = 0;
  for (;;) {
    if (at + kDeviceEntrySize > devices.size() || total >= kMaxChannelWords) break;
    DeviceEntry e;
    const std::string_view w = devices.substr(at, kDeviceEntrySize);
    e.Address = ReadWordBE(w, 1);
    e.Type = ReadWordBE(w, 3);
    e.Register = ReadWordBE(w, 5);
    e.Words = ReadWordBE(w, 7);
    e.Format = ReadWordBE(w, 9);
    at += kDeviceEntrySize;
    cfg.Devices[static_cast<std::size_t>(stored)] = e;
    ++stored;
    total += e.Format < 4 ? e.Words : 2 * e.Words;
    if (e.Type == 0 || stored == kMaxDevices) {
      dropLast = true;
      break;
    }
  }
  const int count = dropLast ? stored - 1 : stored;
  for (int i = count; i < kMaxDevices; ++i) cfg.Devices[static_cast<std::size_t>(i)] = DeviceEntry{};
  cfg.DeviceCount = static_cast<std::uint16_t>(count);
}

bool DecodeConfigBlock(std::string_view block, ConfigBlock& f, LoggerConfig& cfg) {
  if (block.size() < 34) return false;
  f.DevAddr = U8(block, 0);
  f.Function = U8(block, 1);
  f.Command = ReadWordBE(block, 3);
  f.ReturnDataCnt = ReadWordBE(block, 5);
  f.DevVer = ReadWordBE(block, 7);
  for (std::size_t i = 0; i < 10; ++i) f.DevName[i] = static_cast<std::uint8_t>(U8(block, 8 + i));
  f.RdTime = ReadWordBE(block, 19);
  f.WrTime = ReadWordBE(block, 21);
  f.SegmentCnt = ReadDWordBE(block, 23);
  f.SegmentAktCnt = ReadDWordBE(block, 27);
  f.SegmentSetCnt = ReadDWordBE(block, 31);
  f.Devices = std::string(ConfigField(block, "Devices"));
  cfg.DevVer = f.DevVer;
  cfg.DevName = f.DevName;
  cfg.RdTime = f.RdTime;
  cfg.WrTime = f.WrTime;
  DecodeDeviceTable(f.Devices, cfg);
  return true;
}

std::string DeviceNameText(const std::array<std::uint8_t, 10>& raw) {
  std::string s;
  for (std::size_t i = 1; i < raw.size(); i += 2) {
    if (raw[i] == 0) break;
    s.push_back(static_cast<char>(raw[i]));
  }
  return base::Cp1252ToUtf8(s);
}

int ChannelBytes(int format) { return format < 4 ? 2 : 4; }
int FormatDecimals(int format) {
  if (format < 0 || format >= 8) return -1;
  return format % 4;
}
double FormatScale(int format) {
  switch (format < 0 || format >= 8 ? 0 : format % 4) {
    case 1: return 0.1;
    case 2: return 0.01;
    case 3: return 0.001;
  }
  return 1.0;
}

int ChannelCount(const DeviceEntry& d) { return d.Format < 4 ? d.Words : d.Words / 2; }

int TotalChannels(const LoggerConfig& cfg) {
  if (!cfg.Known()) return 0;
  int n = 0;
  for (int i = 0; i < cfg.DeviceCount && i < kMaxDevices; ++i) n += ChannelCount(cfg.Devices[static_cast<std::size_t>(i)]);
  return n;
}

int MeasuredByteCount(const LoggerConfig& cfg) {
  if (!cfg.Known()) return 0;
  int words = 0;
  for (int i = 0; i < cfg.DeviceCount && i < kMaxDevices; ++i) words += cfg.Devices[static_cast<std::size_t>(i)].Words;
  return 2 * words;
}

int LineByteCount(const LoggerConfig& cfg) { return cfg.Known() ? MeasuredByteCount(cfg) + 12 : 0; }

double DecodeChannel(const unsigned char* p, int format, ByteOrder order) {
  const bool be = order == ByteOrder::BlockBigEndian;
  auto half = [&](int i) -> std::int32_t {
    const unsigned a = p[i], b = p[i + 1];
    return static_cast<std::int16_t>(be ? (a << 8 | b) : (b << 8 | a));
  };
  double v;
  if (ChannelBytes(format) == 2) {
    v = half(0);
  } else {
    const std::int32_t lo = half(0), hi = half(2);
    if (lo > -22000 || hi > -22000) {
      const std::int64_t low = lo & 0xFFFF;
      v = static_cast<double>(low + 65536LL * hi);
    } else {
      v = hi;
    }
  }
  if (v >= -21999 && format >= 0 && format < 8) {
    const int d = FormatDecimals(format);
    v = base::RoundHalfEven(v * FormatScale(format), d);
  }
  return v;
}

std::string ValueText(double value, int format, char sep) {
  if (format >= 8 || format < 0) return {};
  std::string s = base::FloatToStr(value, sep);
  const int decimals = FormatDecimals(format);
  if (value > -22000 && decimals > 0) {
    auto dot = s.find(sep);
    if (dot == std::string::npos) {
      s.push_back(sep);
      dot = s.size() - 1;
    }
    while (static_cast<int>(s.size() - dot - 1) < decimals) s.push_back('0');
  }
  return s;
}

int ValuesReturnDataCnt(std::string_view block) {
  if (block.size() < 6) return -1;
  return ReadWordBE(block, 5);
}

std::vector<ChannelValue> DecodeMeasuredValues(std::string_view block, const LoggerConfig& cfg, char sep) {
  std::vector<ChannelValue> out;
  if (!cfg.Known() || block.size() < 6) return out;
  std::size_t next = 6;
  for (int d = 0; d < cfg.DeviceCount && d < kMaxDevices; ++d) {
    const DeviceEntry& e = cfg.Devices[static_cast<std::size_t>(d)];
    const int bytes = ChannelBytes(e.Format);
    // Each device owns 2 x Words bytes (an odd word of a 4-byte format is padding).
    std::size_t at = next;
    next += 2 * static_cast<std::size_t>(e.Words);
    for (int c = 0; c < ChannelCount(e); ++c) {
      if (at + static_cast<std::size_t>(bytes) > block.size()) return out;
      const auto* p = reinterpret_cast<const unsigned char*>(block.data() + at);
      const double v = DecodeChannel(p, e.Format, ByteOrder::BlockBigEndian);
      out.push_back({d, c, v, ValueText(v, e.Format, sep)});
      at += static_cast<std::size_t>(bytes);
    }
  }
  return out;
}

LoggerLine DecodeLoggerLine(std::string_view line, const LoggerConfig& cfg) {
  LoggerLine out;
  if (line.size() < 6) return out;
  double t = 0;
  if (base::TryEncodeDateTime(2000 + static_cast<int>(U8(line, 0)), static_cast<int>(U8(line, 1)),
                              static_cast<int>(U8(line, 2)), static_cast<int>(U8(line, 3)),
                              static_cast<int>(U8(line, 4)), static_cast<int>(U8(line, 5)), 0, t))
    out.Time = t;
  std::size_t next = 6;
  for (int d = 0; cfg.Known() && d < cfg.DeviceCount && d < kMaxDevices; ++d) {
    const DeviceEntry& e = cfg.Devices[static_cast<std::size_t>(d)];
    const int bytes = ChannelBytes(e.Format);
    std::size_t at = next;
    next += 2 * static_cast<std::size_t>(e.Words);
    for (int c = 0; c < ChannelCount(e); ++c) {
      if (at + static_cast<std::size_t>(bytes) > line.size()) return out;
      out.Values.push_back(DecodeChannel(reinterpret_cast<const unsigned char*>(line.data() + at), e.Format,
                                         ByteOrder::LineLittleEndian));
      at += static_cast<std::size_t>(bytes);
    }
  }
  const std::size_t L = static_cast<std::size_t>(LineByteCount(cfg));
  if (L >= 6 && line.size() >= L) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < L - 6; ++i) sum += U8(line, i);
    out.ChecksumOk = U8(line, L - 6) == (sum & 0xFF) && U8(line, L - 5) == ((sum >> 8) & 0xFF);
  }
  return out;
}

const char* DeviceTypeName(int type) {
  switch (type) {
    case 0: return "Off";
    case 1: return "manual";
    case 2: return "Kv16";
    case 3: return "KvMix";
    case 4: return "Kv24";
    case 5: return "Kv36";
    case 6: return "Kv48";
    case 7: return "EM24";
  }
  return "unknown";
}

namespace {
const char* Em24Name(int reg) {
  switch (reg) {
    case 0: return "V-L1";
    case 2: return "V-L2";
    case 4: return "V-L3";
    case 12: return "A-L1";
    case 14: return "A-L2";
    case 16: return "A-L3";
    case 18: return "W-L1";
    case 20: return "W-L2";
    case 22: return "W-L3";
    case 46: return "IW";
    case 50: return "PF-L1";
    case 51: return "PF-L2";
    case 62: return "E";
    case 76: return "E1";
    case 78: return "E2";
    case 80: return "E3";
    case 82: return "E4";
  }
  return "PF-L3";
}

bool ValidDevice(const LoggerConfig& cfg, int device) {
  return cfg.Known() && device >= 0 && device < cfg.DeviceCount && device < kMaxDevices;
}
}  // namespace

std::string ChannelName(const LoggerConfig& cfg, int device, int channel, const GraphSettingsLookup& lookup) {
  if (!ValidDevice(cfg, device)) return {};
  const DeviceEntry& e = cfg.Devices[static_cast<std::size_t>(device)];
  if (channel < 0 || channel >= ChannelCount(e)) return {};
  if (lookup) {
    GraphNames g;
    if (lookup(device, g) && static_cast<std::size_t>(channel) < g.Curves.size())
      return g.Curves[static_cast<std::size_t>(channel)];
  }
  switch (e.Type) {
    case 1: return "R" + std::to_string(e.Register);
    case 2: return "C" + std::to_string(channel + 1);
    case 3: case 4: case 5: case 6:
      if (channel == 0) return "C1";
      if (channel == 1) return "SP1";
      return "C" + std::to_string(channel);
    case 7: return Em24Name(e.Register);
  }
  return "-";
}

std::string DeviceCaption(const LoggerConfig& cfg, int device, bool longForm, const GraphSettingsLookup& lookup) {
  if (!ValidDevice(cfg, device)) return {};
  if (lookup) {
    GraphNames g;
    if (lookup(device, g)) return g.Title;
  }
  const DeviceEntry& e = cfg.Devices[static_cast<std::size_t>(device)];
  std::string s = std::string(DeviceTypeName(e.Type)) + "_addr" + std::to_string(e.Address);
  if (longForm) s += "_" + ChannelName(cfg, device, 0, lookup);
  return s;
}

}  // namespace kv90
