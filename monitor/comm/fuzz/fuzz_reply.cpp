// Arbitrary bytes into the reply collector and the line-stream
// post-processing.  The first bytes choose the request; the rest is the
// reply, fed in chunks of exactly the size the collector asks for.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "monitor/comm/wire.h"

using namespace kv90::comm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  static const int kFunctions[] = {3, 4, 6, 8, 0x41, 0x41, 0x41, 0x41};
  WireRequest r;
  r.function = kFunctions[data[0] & 7];
  r.address = data[1];
  r.param = r.function == 0x41 ? 1 + data[2] % 3 : data[2];
  r.count = r.function == 0x41 ? 6 + data[3] : 1 + data[3] % 32;
  if (r.address == 0) r.address = 1;
  const std::string_view in(reinterpret_cast<const char*>(data) + 4, size - 4);

  if (RequestAccepted(r)) {
    ReplyCollector c;
    c.Begin(r);
    std::size_t at = 0;
    auto outcome = ReplyCollector::Outcome::NeedMore;
    while (outcome == ReplyCollector::Outcome::NeedMore) {
      const auto want = static_cast<std::size_t>(c.Want());
      if (want < 1 || want > static_cast<std::size_t>(kMaxChunk)) __builtin_trap();
      if (at + want > in.size()) break;
      outcome = c.Feed(in.substr(at, want));
      at += want;
    }
    std::uint32_t dropped = 0;
    const Bytes out = PostProcessStream(c.block(), r.count, dropped);
    if (out.size() > c.block().size()) __builtin_trap();
  }
  // The post-processing alone on the raw input as a whole stream.
  std::uint32_t dropped = 0;
  const Bytes out = PostProcessStream(in, 6 + data[3], dropped);
  if (out.size() > in.size()) __builtin_trap();
  (void)BuildFrame(r);
  return 0;
}
