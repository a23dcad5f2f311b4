// What the Kv90 logger's blocks contain and how they decode.
//
// Block data here is what the request engine publishes for function 0x41:
// the 6-byte reply header followed by the data.  Field positions are 1-based
// byte positions in that data.  Inside blocks 16-bit fields are big-endian
// and a 32-bit field is two big-endian words, low word first; logger lines
// carry their channels little-endian.
//
// Invariants:
//  1. Nothing here reads past the block given: a field that does not fit
//     decodes as zero bytes, a short block decodes as far as it goes.
//  2. Values of -22000 and below are status codes: never scaled, shown as
//     their raw number.
//  3. A decoded LoggerConfig has at most 15 devices; entries from the device
//     count on are zero.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/comm/logger_config.h"

namespace kv90 {

struct BlockField {
  const char* Name;
  int Start;   // 1-based
  int Length;  // bytes; -1 = ReturnDataCnt
};

// The configuration block (sub-command 1), in its order.
extern const std::array<BlockField, 12> kConfigBlockLayout;
// The measured-values block (sub-command 2).
extern const std::array<BlockField, 5> kValuesBlockLayout;

constexpr int kConfigDataLength = 188;  // RegCount of the configuration request
constexpr int kDeviceEntrySize = 10;
constexpr int kMaxChannelWords = 50;    // running total that ends the device table

// Bytes of a named field of the configuration block ("" when out of range).
std::string_view ConfigField(std::string_view block, std::string_view name);
std::uint16_t ReadWordBE(std::string_view block, int start1);
// Two big-endian words, low word first.
std::uint32_t ReadDWordBE(std::string_view block, int start1);

struct ConfigBlock {
  std::uint16_t DevAddr = 0;
  std::uint16_t Function = 0;
  std::uint16_t Command = 0;
  std::uint16_t ReturnDataCnt = 0;
  std::uint16_t DevVer = 0;
  std::array<std::uint8_t, 10> DevName{};
  std::uint16_t RdTime = 0;
  std::uint16_t WrTime = 0;
  std::uint32_t SegmentCnt = 0;
  std::uint32_t SegmentAktCnt = 0;
  std::uint32_t SegmentSetCnt = 0;
  std::string Devices;  // 160 raw bytes
};

// Decodes a configuration block.  False (and `cfg` untouched) when the
// block is shorter than its header and fixed fields.
bool DecodeConfigBlock(std::string_view block, ConfigBlock& fields, LoggerConfig& cfg);
// The device table (Devices field) into cfg.Devices and cfg.DeviceCount.
void DecodeDeviceTable(std::string_view devices, LoggerConfig& cfg);
// DevName as text (five characters, low byte of each word, up to a zero).
std::string DeviceNameText(const std::array<std::uint8_t, 10>& raw);

// Value formats.
int ChannelBytes(int format);         // 2 or 4
int FormatDecimals(int format);       // 0..3, or -1 for "text left empty"
double FormatScale(int format);       // 1, 0.1, 0.01, 0.001
int ChannelCount(const DeviceEntry& d);
int TotalChannels(const LoggerConfig& cfg);
// 2 x the sum of Words over the devices (0 without a configuration).
int MeasuredByteCount(const LoggerConfig& cfg);
// MeasuredByteCount + 12 (0 without a configuration).
int LineByteCount(const LoggerConfig& cfg);

enum class ByteOrder { BlockBigEndian, LineLittleEndian };

// One channel from its 2 or 4 raw bytes.
double DecodeChannel(const unsigned char* raw, int format, ByteOrder order);
// The channel's text (the decimal separator given).
std::string ValueText(double value, int format, char decimalSeparator = '.');

struct ChannelValue {
  int Device = 0;
  int Channel = 0;
  double Value = 0;
  std::string Text;
};

// The measured-values block: ReturnDataCnt (-1 when the block is shorter
// than its header).
int ValuesReturnDataCnt(std::string_view block);
// Every channel of every device in order, as far as the block goes.
std::vector<ChannelValue> DecodeMeasuredValues(std::string_view block, const LoggerConfig& cfg,
                                               char decimalSeparator = '.');

struct LoggerLine {
  double Time = 0;  // date-time; 0 when the stamp is not a valid date
  std::vector<double> Values;
  bool ChecksumOk = false;
};
// One logger line of LineByteCount(cfg) bytes (without the header).
LoggerLine DecodeLoggerLine(std::string_view line, const LoggerConfig& cfg);

// Names on screen.  The graph-settings lookup answers for device index d
// whether its settings file loads, and gives its title and curve names.
struct GraphNames {
  std::string Title;
  std::vector<std::string> Curves;
};
using GraphSettingsLookup = std::function<bool(int device, GraphNames& out)>;

const char* DeviceTypeName(int type);
std::string ChannelName(const LoggerConfig& cfg, int device, int channel,
                        const GraphSettingsLookup& lookup = {});
std::string DeviceCaption(const LoggerConfig& cfg, int device, bool longForm = false,
                          const GraphSettingsLookup& lookup = {});

}  // namespace kv90
