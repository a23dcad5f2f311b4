// Trace log: truncation on the first line, UTF-16LE or ANSI, dropped traces.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/startup/trace_log.h"
#include "platform/base/files.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) { return base::ReadFileBytes(p.string()).value_or(""); }

class TraceLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tracetest.XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(TraceLogTest, NtFamilyWritesUtf16WithoutBom) {
  const fs::path log = dir_ / "Trace.log";
  std::ofstream(log) << "stale text of an earlier run";
  engine::TraceLog t({}, true);
  t.SetPath(log.string());
  t.Write("<Corvane>");
  t.Write("  <Größe>");
  std::string want;
  for (unsigned char c : std::string("<Corvane>\r\n  <Gr\xf6\xdf" "e>\r\n")) want += {static_cast<char>(c), '\0'};
  EXPECT_EQ(ReadAll(log), want);
}

TEST_F(TraceLogTest, NineXWritesAnsi) {
  engine::TraceLog t({}, false);
  t.SetPath((dir_ / "t.log").string());
  t.Write("<Corvane>");
  t.Write("Größe");
  EXPECT_EQ(ReadAll(dir_ / "t.log"), "<Corvane>\r\nGr\xf6\xdf" "e\r\n");
}

TEST_F(TraceLogTest, PathsGoThroughTheResolverAndFailuresAreDropped) {
  std::string asked;
  engine::TraceLog t([&](std::string_view p) { asked = p; return (dir_ / "mapped.log").string(); }, false);
  t.Write("nothing without a path");
  t.SetPath("Z:\\Logs\\Setup.log");
  t.Write("one");
  EXPECT_EQ(asked, "Z:\\Logs\\Setup.log");
  EXPECT_EQ(ReadAll(dir_ / "mapped.log"), "one\r\n");

  engine::TraceLog nowhere([](std::string_view) { return std::string("/nonexistent/dir/x.log"); }, true);
  nowhere.SetPath("C:\\x.log");
  nowhere.Write("dropped");  // no throw, no crash
  engine::TraceLog unmapped([](std::string_view) { return std::string(); }, true);
  unmapped.SetPath("Q:\\x.log");
  unmapped.Write("dropped");
}

}  // namespace
