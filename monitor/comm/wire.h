// Wire format of the logger link: frames, checksums, reply collection and
// the post-processing of a logger line stream.
//
// Everything here is pure: no threads, no clocks, no port.  The polling
// thread feeds ReplyCollector with chunks it has already received, and the
// fuzz target feeds it arbitrary bytes the same way.
//
// Invariants:
//  1. ReplyCollector::Want() is always >= 1 and <= kMaxChunk, so a caller that
//     reads exactly Want() bytes never over-reads a frame and never waits for
//     a chunk larger than a 16-bit length plus its checksum.
//  2. Feed() takes exactly Want() bytes; any other size is a caller error and
//     is answered with Outcome::Finish and error kErrRejected.
//  3. PostProcessStream() runs in time linear in the size of the stream: it
//     copies surviving lines into a new string instead of deleting in place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv90::comm {

using Bytes = std::string;  // a byte string; bytes are read as unsigned char

// Error codes of a result (SerialLinkError).  Texts: LinkErrorText().
enum LinkError : int {
  kErrNone = 0,
  kErrChecksum = 1,    // CRC or checksum mismatch
  kErrException = 2,   // exception reply to a write
  kErrRejected = 3,    // request rejected or cancelled
  kErrNoReply = 4,     // no reply / stalled stream
  kErrHeader = 5,      // block-transfer header does not match the request
  kErrLength = 6,      // block-transfer length does not match
};
const char* LinkErrorText(int code);

constexpr int kFuncReadHolding = 3;
constexpr int kFuncReadInput = 4;
constexpr int kFuncWriteSingle = 6;
constexpr int kFuncDiagnostics = 8;
constexpr int kFuncBlock = 0x41;
constexpr int kSubConfig = 1;
constexpr int kSubValues = 2;
constexpr int kSubLogger = 3;
constexpr int kHeaderSize = 6;
constexpr int kMarkerSize = 4;
constexpr int kMaxChunk = 0xFFFE + 2;
constexpr int kValueSlots = 32;

constexpr std::array<unsigned char, 4> kSegmentMarker{0xAA, 0x55, 0xAA, 0x55};
constexpr std::array<unsigned char, 4> kEndMarker{0xAB, 0x56, 0xAB, 0x56};

// Modbus CRC-16: reflected polynomial 0xA001, initial 0xFFFF, no final XOR.
std::uint16_t Crc16(std::string_view bytes);
// 16-bit sum of the bytes taken as unsigned, carries dropped.
std::uint16_t Sum16(std::string_view bytes);
// Appends the CRC of `frame`, low byte first.
void AppendCrc(Bytes& frame);
// True when the last two bytes are the CRC of the others (low byte first).
bool CrcMatches(std::string_view frame);

// One request as the polling thread receives it.
struct WireRequest {
  int address = 0;
  int function = 0;
  int param = 0;   // register address, or sub-command of function 0x41
  int count = 0;   // register count, or block / line length of function 0x41
  int value = 0;   // value to write (function 6)
};

// True when the thread accepts the request (else error 3).
bool RequestAccepted(const WireRequest& r);
// The frame as sent, CRC included.  Functions 3 and 4 both go out as 0x04.
Bytes BuildFrame(const WireRequest& r);

// Marker search over data[s, s+L) (0-based, cut at the end of data).
struct MarkerHit {
  int kind = 0;         // 0 end of data, 1 segment, 2 end marker, 3 full window
  std::size_t pos = 0;  // just after the marker, or s + L for kind 3
};
MarkerHit FindMarker(std::string_view data, std::size_t s, std::size_t L);

// Post-processing of a line stream: block = header + stream, L = line length.
// Keeps the header and the lines whose checksum matches; counts the others
// (and a missing end marker) in `discarded`.  Returns the published block:
// empty when the block is shorter than the header or announces length 0.
Bytes PostProcessStream(std::string_view block, int L, std::uint32_t& discarded);

// Collects one reply, chunk by chunk.
class ReplyCollector {
 public:
  enum class Outcome {
    NeedMore,  // read Want() bytes and Feed() them
    Check,     // reply complete: retry on error if attempts are left (state 5)
    Finish,    // request ends with error() now (state 6)
  };

  // Starts collecting the reply to `r` (after the frame has been written).
  void Begin(const WireRequest& r);
  int Want() const { return want_; }
  Outcome Feed(std::string_view chunk);

  int error() const { return error_; }
  int exception() const { return exception_; }
  bool multiPart() const { return req_.function == kFuncBlock; }
  bool stream() const { return stage_ == Stage::Stream; }
  // Register values 1 to 32 (index 0 unused), valid after a register reply.
  const std::array<std::int32_t, kValueSlots + 1>& values() const { return values_; }
  const Bytes& block() const { return block_; }
  Bytes& block() { return block_; }
  int lines() const { return lines_; }

 private:
  enum class Stage { Whole, WriteHead, WriteTail, Header, Fixed, Stream };
  Outcome FeedHeader(std::string_view chunk);
  Outcome FeedStream(std::string_view chunk);

  WireRequest req_;
  Stage stage_ = Stage::Whole;
  int want_ = 1;
  int error_ = 0;
  int exception_ = 0;
  int lines_ = 0;
  Bytes write_;
  Bytes block_;
  std::array<std::int32_t, kValueSlots + 1> values_{};
};

}  // namespace kv90::comm
