// Frames, checksums, reply collection and line-stream post-processing,
// on bytes built here.
#include <gtest/gtest.h>

#include "monitor/comm/wire.h"

using namespace kv90::comm;

namespace {
Bytes B(std::initializer_list<int> v) {
  Bytes s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}
Bytes Hex(std::string_view h) {
  Bytes s;
  for (std::size_t i = 0; i + 1 < h.size(); i += 3) s.push_back(static_cast<char>(std::stoi(std::string(h.substr(i, 2)), nullptr, 16)));
  return s;
}

// One logger line of length L with the given content byte and marker.
Bytes Line(int L, int fill, bool last, bool goodSum = true) {
  Bytes s(static_cast<std::size_t>(L - 6), static_cast<char>(fill));
  std::uint16_t sum = Sum16(s);
  if (!goodSum) sum ^= 0x0101;
  s.push_back(static_cast<char>(sum & 0xFF));
  s.push_back(static_cast<char>(sum >> 8));
  for (unsigned char b : last ? kEndMarker : kSegmentMarker) s.push_back(static_cast<char>(b));
  return s;
}
const Bytes kStreamHeader = B({251, 0x41, 0, 3, 0xFF, 0xFF});

}  // namespace

TEST(Crc, KnownFrames) {
  // Read input register 0, count 1, slave 1: CRC 31 CA on the wire.
  EXPECT_EQ(Hex("01 04 00 00 00 01 31 CA "), BuildFrame({1, 4, 0, 1, 0}));
  EXPECT_TRUE(CrcMatches(Hex("01 04 00 00 00 01 31 CA ")));
  EXPECT_FALSE(CrcMatches(Hex("01 04 00 00 00 01 CA 31 ")));
  EXPECT_EQ(0xFFFF, Crc16(""));
  EXPECT_EQ(0x0000, Sum16(""));
  EXPECT_EQ(0x0001, Sum16(B({0xFF, 0x02})) - 0x100);
}

TEST(Frames, AsSentTable) {
  struct Case { const char* name; WireRequest r; Bytes body; };
  const Case cases[] = {
      {"read holding goes out as 0x04", {7, 3, 0x1234, 10, 0}, B({7, 4, 0x12, 0x34, 0, 10})},
      {"read input", {7, 4, 2, 32, 0}, B({7, 4, 0, 2, 0, 32})},
      {"write", {7, 6, 0x0102, 1, 0x0A0B}, B({7, 6, 1, 2, 0x0A, 0x0B})},
      {"write negative", {7, 6, 5, 1, -2}, B({7, 6, 0, 5, 0xFF, 0xFE})},
      {"diagnostics", {7, 8, 99, 99, 99}, B({7, 8, 1, 2, 3, 4})},
      {"block config", {251, 0x41, 1, 188, 0}, B({251, 0x41, 0, 1, 0, 0})},
      {"block logger", {251, 0x41, 3, 46, 0}, B({251, 0x41, 0, 3, 0, 0})},
  };
  for (const auto& c : cases) {
    Bytes want = c.body;
    AppendCrc(want);
    EXPECT_EQ(want, BuildFrame(c.r)) << c.name;
  }
}

TEST(Frames, RequestChecks) {
  struct Case { WireRequest r; bool ok; };
  const Case cases[] = {
      {{1, 4, 0, 1, 0}, true},    {{1, 4, 0, 32, 0}, true},  {{1, 4, 0, 0, 0}, false},
      {{1, 3, 0, 33, 0}, false},  {{256, 4, 0, 1, 0}, false}, {{-1, 6, 0, 1, 0}, false},
      {{0, 6, 0, 1, 0}, true},    {{0, 4, 0, 1, 0}, false},  {{0, 0x41, 1, 188, 0}, false},
      {{1, 5, 0, 1, 0}, false},   {{1, 8, 0, 0, 0}, true},   {{1, 0x41, 3, 5, 0}, false},
      {{1, 0x41, 3, 6, 0}, true}, {{1, 0x41, 1, 0xFFFF, 0}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.ok, RequestAccepted(c.r)) << c.r.address << " fn " << c.r.function << " count " << c.r.count;
}

TEST(Collector, RegisterWordsAreSignedAbove32768) {
  ReplyCollector c;
  c.Begin({1, 4, 0, 3, 0});
  Bytes reply = B({1, 4, 6, 0x80, 0x00, 0x80, 0x01, 0xFF, 0xFF});
  AppendCrc(reply);
  ASSERT_EQ(static_cast<int>(reply.size()), c.Want());
  EXPECT_EQ(ReplyCollector::Outcome::Check, c.Feed(reply));
  EXPECT_EQ(0, c.error());
  EXPECT_EQ(32768, c.values()[1]);
  EXPECT_EQ(-32767, c.values()[2]);
  EXPECT_EQ(-1, c.values()[3]);
  reply[3] ^= 1;
  c.Begin({1, 4, 0, 3, 0});
  c.Feed(reply);
  EXPECT_EQ(kErrChecksum, c.error());
}

TEST(Collector, WriteReplyInTwoStages) {
  ReplyCollector c;
  c.Begin({1, 6, 3, 1, 9});
  Bytes echo = BuildFrame({1, 6, 3, 1, 9});
  EXPECT_EQ(5, c.Want());
  EXPECT_EQ(ReplyCollector::Outcome::NeedMore, c.Feed(std::string_view(echo).substr(0, 5)));
  EXPECT_EQ(3, c.Want());
  EXPECT_EQ(ReplyCollector::Outcome::Check, c.Feed(std::string_view(echo).substr(5)));
  EXPECT_EQ(0, c.error());

  Bytes ex = B({1, 0x86, 2});
  AppendCrc(ex);
  c.Begin({1, 6, 3, 1, 9});
  EXPECT_EQ(ReplyCollector::Outcome::Check, c.Feed(ex));
  EXPECT_EQ(kErrException, c.error());
  EXPECT_EQ(2, c.exception());
}

TEST(Collector, BlockHeaderChecks) {
  struct Case { const char* name; int sub; int count; Bytes header; int error; ReplyCollector::Outcome outcome; };
  using O = ReplyCollector::Outcome;
  const Case cases[] = {
      {"good fixed", 1, 188, B({251, 0x41, 0, 1, 0, 188}), 0, O::NeedMore},
      {"function 0xC1 passes", 1, 188, B({251, 0xC1, 0, 1, 0, 188}), 0, O::NeedMore},
      {"byte 2 0x64 passes", 2, 34, B({251, 0x41, 0x64, 2, 0, 34}), 0, O::NeedMore},
      {"byte 2 0x65 passes", 2, 34, B({251, 0x41, 0x65, 9, 0, 34}), 0, O::NeedMore},
      {"other address", 1, 188, B({250, 0x41, 0, 1, 0, 188}), kErrHeader, O::Check},
      {"other function", 1, 188, B({251, 0x42, 0, 1, 0, 188}), kErrHeader, O::Check},
      {"byte 2 wrong", 1, 188, B({251, 0x41, 1, 1, 0, 188}), kErrHeader, O::Check},
      {"187 for 188 is retried", 1, 188, B({251, 0x41, 0, 1, 0, 187}), kErrLength, O::Check},
      {"logger length 5 ends at once", 3, 46, B({251, 0x41, 0, 3, 0, 5}), kErrLength, O::Finish},
      {"logger bad header ends at once", 3, 46, B({1, 0x41, 0, 3, 0xFF, 0xFF}), kErrHeader, O::Finish},
      {"logger empty", 3, 46, B({251, 0x41, 0, 3, 0, 0}), 0, O::Finish},
      {"logger stream", 3, 46, B({251, 0x41, 0, 3, 0xFF, 0xFF}), 0, O::NeedMore},
  };
  for (const auto& c : cases) {
    ReplyCollector rc;
    rc.Begin({251, 0x41, c.sub, c.count, 0});
    EXPECT_EQ(c.outcome, rc.Feed(c.header)) << c.name;
    EXPECT_EQ(c.error, rc.error()) << c.name;
  }
}

TEST(Collector, FixedBlockChecksum) {
  Bytes block = B({251, 0x41, 0, 1, 0, 4, 10, 20, 30, 40});
  const std::uint16_t sum = Sum16(block);
  block.push_back(static_cast<char>(sum & 0xFF));
  block.push_back(static_cast<char>(sum >> 8));
  for (bool corrupt : {false, true}) {
    Bytes b = block;
    if (corrupt) b[7] ^= 0x40;
    ReplyCollector c;
    c.Begin({251, 0x41, 1, 4, 0});
    ASSERT_EQ(ReplyCollector::Outcome::NeedMore, c.Feed(std::string_view(b).substr(0, 6)));
    ASSERT_EQ(6, c.Want());
    EXPECT_EQ(ReplyCollector::Outcome::Check, c.Feed(std::string_view(b).substr(6)));
    EXPECT_EQ(corrupt ? kErrChecksum : 0, c.error());
    EXPECT_EQ(corrupt ? Bytes() : b, c.block());
  }
}

TEST(Collector, StreamRealignsAfterAShiftedMarker) {
  const int L = 16;
  // A stray byte before line 1 shifts every later chunk by one.
  const Bytes stream = Line(L, 1, false) + "\x77" + Line(L, 2, false) + Line(L, 3, true);
  ReplyCollector c;
  c.Begin({251, 0x41, 3, L, 0});
  ASSERT_EQ(ReplyCollector::Outcome::NeedMore, c.Feed(kStreamHeader));
  std::size_t at = 0;
  auto o = ReplyCollector::Outcome::NeedMore;
  while (o == ReplyCollector::Outcome::NeedMore) {
    ASSERT_LE(at + static_cast<std::size_t>(c.Want()), stream.size()) << "collector waits past the end marker";
    const auto n = static_cast<std::size_t>(c.Want());
    o = c.Feed(std::string_view(stream).substr(at, n));
    at += n;
  }
  EXPECT_EQ(ReplyCollector::Outcome::Finish, o);
  EXPECT_EQ(0, c.error());
  std::uint32_t dropped = 0;
  const Bytes out = PostProcessStream(c.block(), L, dropped);
  EXPECT_EQ(kStreamHeader + Line(L, 1, false) + Line(L, 2, false) + Line(L, 3, true), out);
  EXPECT_EQ(1u, dropped);  // the stretch holding the stray byte counts one line
}

TEST(Marker, Search) {
  const int L = 16;
  const Bytes d = Bytes(6, 'h') + Line(L, 5, false) + Line(L, 6, true) + "tail";
  EXPECT_EQ(1, FindMarker(d, 6, L).kind);
  EXPECT_EQ(6u + L, FindMarker(d, 6, L).pos);
  EXPECT_EQ(2, FindMarker(d, 6 + L, L).kind);
  EXPECT_EQ(3, FindMarker(Bytes(40, 'x'), 0, L).kind);
  EXPECT_EQ(0, FindMarker(Bytes(10, 'x'), 0, L).kind);
  EXPECT_EQ(0, FindMarker("", 0, L).kind);
  EXPECT_EQ(0, FindMarker("abc", 7, L).kind);
}

TEST(PostProcess, LinesTable) {
  const int L = 12;
  struct Case { const char* name; Bytes stream; Bytes kept; std::uint32_t dropped; };
  const Bytes l1 = Line(L, 1, false), l2 = Line(L, 2, false), l3 = Line(L, 3, true);
  const Case cases[] = {
      {"all good", l1 + l2 + l3, l1 + l2 + l3, 0},
      {"second line bad", l1 + Line(L, 2, false, false) + l3, l1 + l3, 1},
      {"no end marker", l1 + l2, l1 + l2, 1},
      {"a line and a half without marker", l1 + Bytes(L + 3, 'z') + l3, l1 + l3, 2},
      {"marker alone", l1 + Bytes(kEndMarker.begin(), kEndMarker.end()), l1, 1},
      {"empty stream", "", "", 1},
  };
  for (const auto& c : cases) {
    std::uint32_t dropped = 0;
    EXPECT_EQ(kStreamHeader + c.kept, PostProcessStream(kStreamHeader + c.stream, L, dropped)) << c.name;
    EXPECT_EQ(c.dropped, dropped) << c.name;
  }
  std::uint32_t dropped = 0;
  EXPECT_EQ("", PostProcessStream("abc", L, dropped));
  EXPECT_EQ("", PostProcessStream(B({251, 0x41, 0, 3, 0, 0}), L, dropped));
  const Bytes fixed = B({251, 0x41, 0, 1, 0, 2, 9, 9, 0, 0});
  EXPECT_EQ(fixed, PostProcessStream(fixed, L, dropped));
}
