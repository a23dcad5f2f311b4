// Image-end finder on real ELF files and on small PE fixtures.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/startup/overlay.h"
#include "platform/base/files.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) { return base::ReadFileBytes(p.string()).value_or(""); }

void Put(std::string& b, std::size_t off, std::uint32_t v, int width) {
  for (int i = 0; i < width; ++i) b[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct Section { std::uint32_t ptr, size; };

// An MZ stub, a PE header at 0x80, an optional header of optSize bytes and
// the given sections; the file is as long as the largest section end.
std::string PeFixture(std::uint16_t optSize, const std::vector<Section>& sections) {
  std::uint32_t end = 0x80 + 24 + optSize + 40 * static_cast<std::uint32_t>(sections.size());
  for (const auto& s : sections) end = std::max(end, s.ptr + s.size);
  std::string b(end, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Put(b, 0x3C, 0x80, 4);
  std::memcpy(&b[0x80], "PE\0\0", 4);
  Put(b, 0x84, optSize == 224 ? 0x14C : 0x8664, 2);
  Put(b, 0x86, static_cast<std::uint32_t>(sections.size()), 2);
  Put(b, 0x94, optSize, 2);
  const std::size_t table = 0x80 + 24 + optSize;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    Put(b, table + 40 * i + 16, sections[i].size, 4);
    Put(b, table + 40 * i + 20, sections[i].ptr, 4);
  }
  return b;
}

TEST(Overlay, PeSectionTable) {
  // The section that ends last need not be the last one in the table.
  const std::string pe32 = PeFixture(224, {{0x400, 0x200}, {0x200, 0x100}, {0x300, 0x80}});
  EXPECT_EQ(engine::FindImageEnd(pe32), 0x600u);
  EXPECT_EQ(engine::FindImageEnd(pe32 + "appended script\r\n$\r\n"), 0x600u);
  // A 64-bit image has a 240-byte optional header; the COFF header says so.
  const std::string pe64 = PeFixture(240, {{0x400, 0x400}});
  EXPECT_EQ(engine::FindImageEnd(pe64 + "x"), 0x800u);

  struct Bad { const char* what; std::string bytes; };
  std::string badSig = pe32;
  badSig[0x81] = 'X';
  const Bad bad[] = {
      {"truncated inside a section", pe32.substr(0, 0x500)},
      {"no PE signature", badSig},
      {"PE header offset past the end", [&] { std::string b = pe32; Put(b, 0x3C, 0x7FFFFFF0, 4); return b; }()},
      {"only MZ", std::string("MZ")},
      {"not an image", std::string(600, 'a')},
      {"empty", std::string()},
  };
  for (const Bad& b : bad) EXPECT_EQ(engine::FindImageEnd(b.bytes), std::nullopt) << b.what;
}

TEST(Overlay, ElfImageOfARealExecutable) {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const std::string bytes = ReadAll(self);
  const auto end = engine::FindImageEnd(bytes);
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(*end, bytes.size());  // a linked executable has nothing appended
  EXPECT_EQ(engine::FindImageEndOfFile(self.string()), bytes.size());

  // Appended bytes, even ones that look like an ELF header, start at the end.
  const std::string appended = bytes + std::string("\x7f" "ELF\x02\x01 binary junk", 16) + std::string(100000, '\xff');
  EXPECT_EQ(engine::FindImageEnd(appended), bytes.size());
  char tmpl[] = "/tmp/overlaytest.XXXXXX";
  const fs::path dir = mkdtemp(tmpl);
  std::ofstream(dir / "engine", std::ios::binary) << appended;
  EXPECT_EQ(engine::FindImageEndOfFile((dir / "engine").string()), bytes.size());
  EXPECT_EQ(engine::FindImageEndOfFile((dir / "missing").string()), std::nullopt);
  EXPECT_EQ(engine::FindImageEndOfFile(dir.string()), std::nullopt);
  fs::remove_all(dir);

  // Cut short, the section-header table lies past the end: damaged.
  EXPECT_EQ(engine::FindImageEnd(std::string_view(bytes).substr(0, bytes.size() - 100)), std::nullopt);
  EXPECT_EQ(engine::FindImageEnd(std::string_view(bytes).substr(0, 40)), std::nullopt);

  // Found by fuzz_overlay: a 32-bit header whose e_ehsize lies past the end.
  std::string header("\x7f" "ELF\x01\x01", 6);
  header.resize(60, '\0');
  header[0x28] = 0x7a;
  EXPECT_EQ(engine::FindImageEnd(header), std::nullopt);
}

TEST(Overlay, ElfLibraryWithAppendedData) {
  const char* env = std::getenv("TEST_BIN_DIR");
  const fs::path binDir = env && *env ? fs::path(env) : fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin";
  const std::string lib = ReadAll(binDir / "qel.lib");
  ASSERT_FALSE(lib.empty());
  const auto end = engine::FindImageEnd(lib);
  ASSERT_TRUE(end.has_value());
  EXPECT_LE(*end, lib.size());
  // Whatever is behind the image now, the image itself ends where a copy
  // with extra data appended says it does.
  EXPECT_EQ(engine::FindImageEnd(lib.substr(0, *end) + "messages\r\n"), *end);
}

}  // namespace
