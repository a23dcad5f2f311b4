#include "monitor/comm/wire.h"

#include <cstring>

namespace kv90::comm {

namespace {
inline unsigned U8(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

bool MarkerAt(std::string_view d, std::size_t lastIndex, const std::array<unsigned char, 4>& m) {
  const std::size_t first = lastIndex - 3;
  return U8(d, first) == m[0] && U8(d, first + 1) == m[1] && U8(d, first + 2) == m[2] &&
         U8(d, first + 3) == m[3];
}
}  // namespace

const char* LinkErrorText(int code) {
  switch (code) {
    case kErrNone: return "no error";
    case kErrChecksum: return "CRC or checksum mismatch";
    case kErrException: return "exception reply from the device";
    case kErrRejected: return "request rejected or cancelled";
    case kErrNoReply: return "no reply from the device";
    case kErrHeader: return "block header does not match the request";
    case kErrLength: return "block length does not match the request";
  }
  return "unknown link error";
}

std::uint16_t Crc16(std::string_view bytes) {
  std::uint16_t crc = 0xFFFF;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
  }
  return crc;
}

std::uint16_t Sum16(std::string_view bytes) {
  unsigned sum = 0;
  for (unsigned char b : bytes) sum += b;
  return static_cast<std::uint16_t>(sum & 0xFFFF);
}

void AppendCrc(Bytes& frame) {
  const std::uint16_t crc = Crc16(frame);
  frame.push_back(static_cast<char>(crc & 0xFF));
  frame.push_back(static_cast<char>(crc >> 8));
}

bool CrcMatches(std::string_view frame) {
  if (frame.size() < 3) return false;
  const std::uint16_t crc = Crc16(frame.substr(0, frame.size() - 2));
  return U8(frame, frame.size() - 2) == (crc & 0xFFu) && U8(frame, frame.size() - 1) == (crc >> 8);
}

bool RequestAccepted(const WireRequest& r) {
  if (r.address < 0 || r.address > 255) return false;
  if (r.address == 0 && r.function != kFuncWriteSingle) return false;
  switch (r.function) {
    case kFuncReadHolding:
    case kFuncReadInput:
      return r.count >= 1 && r.count <= kValueSlots;
    case kFuncWriteSingle:
    case kFuncDiagnostics:
      return true;
    case kFuncBlock:
      // A line must hold its checksum and marker; a length must fit the
      // 16-bit header field without being the stream mark 0xFFFF.
      if (r.param < 0 || r.param > 0xFFFF) return false;
      if (r.param == kSubLogger) return r.count >= 6 && r.count <= 0xFFFE;
      return r.count >= 0 && r.count <= 0xFFFE;
  }
  return false;
}

Bytes BuildFrame(const WireRequest& r) {
  Bytes f;
  auto put = [&f](int v) { f.push_back(static_cast<char>(v & 0xFF)); };
  put(r.address);
  switch (r.function) {
    case kFuncReadHolding:
    case kFuncReadInput:
      put(kFuncReadInput);
      put(r.param >> 8);
      put(r.param);
      put(0);
      put(r.count);
      break;
    case kFuncWriteSingle: {
      const int v = r.value < 0 ? r.value + 0x10000 : r.value;
      put(kFuncWriteSingle);
      put(r.param >> 8);
      put(r.param);
      put(v >> 8);
      put(v);
      break;
    }
    case kFuncDiagnostics:
      put(kFuncDiagnostics);
      put(1); put(2); put(3); put(4);
      break;
    case kFuncBlock:
      put(kFuncBlock);
      put(r.param >> 8);
      put(r.param);
      put(0);
      put(0);
      break;
    default:
      put(r.function);
      break;
  }
  AppendCrc(f);
  return f;
}

MarkerHit FindMarker(std::string_view data, std::size_t s, std::size_t L) {
  const bool whole = s + L <= data.size();
  const std::size_t end = whole ? s + L : (s < data.size() ? data.size() : s);
  if (end >= s + 4) {
    for (std::size_t i = end - 1; i >= s + 3; --i) {
      if (MarkerAt(data, i, kSegmentMarker)) return {1, i + 1};
      if (MarkerAt(data, i, kEndMarker)) return {2, i + 1};
    }
  }
  if (whole && L > 0) return {3, s + L};
  return {0, end};
}

Bytes PostProcessStream(std::string_view block, int L, std::uint32_t& discarded) {
  if (block.size() < static_cast<std::size_t>(kHeaderSize)) return {};
  const unsigned len = (U8(block, 4) << 8) | U8(block, 5);
  if (len == 0) return {};
  if (len != 0xFFFF) return Bytes(block);
  if (L < kMarkerSize + 2) {  // no line can hold its checksum and marker
    ++discarded;
    return Bytes(block.substr(0, kHeaderSize));
  }
  const std::size_t line = static_cast<std::size_t>(L);
  Bytes out(block.substr(0, kHeaderSize));
  out.reserve(block.size());
  std::size_t from = kHeaderSize;
  bool endSeen = false;
  MarkerHit hit = FindMarker(block, from, line);
  while (hit.kind != 0) {
    std::size_t c = hit.pos;
    if (hit.kind == 3) {
      // The next window overlaps the last three bytes, so a marker lying
      // across the window boundary is still found.
      hit = FindMarker(block, c - static_cast<std::size_t>(kMarkerSize - 1), line);
      continue;
    }
    if (c > from + line) {
      discarded += static_cast<std::uint32_t>((c - from) / line);
      from = c - line;
    }
    bool good = false;
    if (c - from >= 6) {
      const std::string_view content = block.substr(from, c - from - 6);
      const std::uint16_t sum = Sum16(content);
      good = U8(block, c - 6) == (sum & 0xFFu) && U8(block, c - 5) == (sum >> 8);
    }
    if (good)
      out.append(block.substr(from, c - from));
    else
      ++discarded;
    if (hit.kind == 2) endSeen = true;
    from = c;
    hit = FindMarker(block, from, line);
  }
  if (!endSeen) ++discarded;
  return out;
}

void ReplyCollector::Begin(const WireRequest& r) {
  req_ = r;
  error_ = kErrNone;
  exception_ = 0;
  lines_ = 0;
  write_.clear();
  block_.clear();
  values_.fill(0);
  switch (r.function) {
    case kFuncReadHolding:
    case kFuncReadInput: stage_ = Stage::Whole; want_ = 2 * r.count + 5; break;
    case kFuncWriteSingle: stage_ = Stage::WriteHead; want_ = 5; break;
    case kFuncBlock: stage_ = Stage::Header; want_ = kHeaderSize; break;
    default: stage_ = Stage::Whole; want_ = 8; break;
  }
  if (want_ < 1 || want_ > kMaxChunk) want_ = 8;
}

ReplyCollector::Outcome ReplyCollector::Feed(std::string_view chunk) {
  if (chunk.size() != static_cast<std::size_t>(want_)) {
    error_ = kErrRejected;
    return Outcome::Finish;
  }
  switch (stage_) {
    case Stage::Whole:
      if (!CrcMatches(chunk)) {
        error_ = kErrChecksum;
        return Outcome::Check;
      }
      error_ = kErrNone;
      if (req_.function == kFuncReadHolding || req_.function == kFuncReadInput) {
        for (int i = 1; i <= req_.count && i <= kValueSlots; ++i) {
          const std::size_t at = 3 + 2 * static_cast<std::size_t>(i - 1);
          std::int32_t v = static_cast<std::int32_t>((U8(chunk, at) << 8) | U8(chunk, at + 1));
          if (v > 32768) v -= 65536;
          values_[static_cast<std::size_t>(i)] = v;
        }
      }
      return Outcome::Check;
    case Stage::WriteHead:
      if (U8(chunk, 1) & 0x80) {
        error_ = kErrException;
        exception_ = static_cast<int>(U8(chunk, 2));
        return Outcome::Check;
      }
      write_.assign(chunk);
      stage_ = Stage::WriteTail;
      want_ = 3;
      return Outcome::NeedMore;
    case Stage::WriteTail:
      write_.append(chunk);
      error_ = CrcMatches(write_) ? kErrNone : kErrChecksum;
      return Outcome::Check;
    case Stage::Header:
      return FeedHeader(chunk);
    case Stage::Fixed: {
      block_.append(chunk);
      const std::string_view all(block_);
      const std::uint16_t sum = Sum16(all.substr(0, all.size() - 2));
      if (U8(all, all.size() - 2) == (sum & 0xFFu) && U8(all, all.size() - 1) == (sum >> 8)) {
        error_ = kErrNone;
      } else {
        error_ = kErrChecksum;
        block_.clear();
      }
      return Outcome::Check;
    }
    case Stage::Stream:
      return FeedStream(chunk);
  }
  return Outcome::Finish;
}

ReplyCollector::Outcome ReplyCollector::FeedHeader(std::string_view chunk) {
  block_.assign(chunk);
  const bool logger = req_.param == kSubLogger;
  const unsigned hi = U8(chunk, 2);
  const bool headerOk = static_cast<int>(U8(chunk, 0)) == req_.address &&
                        (U8(chunk, 1) == kFuncBlock || U8(chunk, 1) == (kFuncBlock | 0x80)) &&
                        (hi == ((static_cast<unsigned>(req_.param) >> 8) & 0xFFu) || hi == 0x64 || hi == 0x65);
  if (!headerOk) {
    error_ = kErrHeader;
    return logger ? Outcome::Finish : Outcome::Check;
  }
  const int len = static_cast<int>((U8(chunk, 4) << 8) | U8(chunk, 5));
  const bool lengthOk = logger ? (len == 0 || len == 0xFFFF) : len == req_.count;
  if (!lengthOk) {
    error_ = kErrLength;
    return logger ? Outcome::Finish : Outcome::Check;
  }
  if (len == 0) {
    error_ = kErrNone;
    return Outcome::Finish;
  }
  if (len == 0xFFFF) {
    stage_ = Stage::Stream;
    want_ = req_.count;
  } else {
    stage_ = Stage::Fixed;
    want_ = len + 2;
  }
  return Outcome::NeedMore;
}

ReplyCollector::Outcome ReplyCollector::FeedStream(std::string_view chunk) {
  ++lines_;
  // Search the new chunk together with the last three bytes before it, so
  // a marker split between two chunks is found too.
  const std::size_t old = block_.size();
  block_.append(chunk);
  constexpr std::size_t kLead = kMarkerSize - 1;
  const std::size_t s = old >= kHeaderSize + kLead ? old - kLead : static_cast<std::size_t>(kHeaderSize);
  const MarkerHit hit = FindMarker(block_, s, block_.size() - s);
  want_ = req_.count;
  if (hit.kind == 2) {
    error_ = kErrNone;
    return Outcome::Finish;
  }
  // A segment marker before the end: what follows it is the head of the
  // next line; read only the rest of that line next, to re-align.
  if (hit.kind == 1 && block_.size() > hit.pos)
    want_ = req_.count - static_cast<int>(block_.size() - hit.pos);
  if (want_ < 1) want_ = req_.count;
  return Outcome::NeedMore;
}

}  // namespace kv90::comm
