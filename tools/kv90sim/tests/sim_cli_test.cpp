// kv90sim as a user starts it: a process with --config and --link, read
// by kv90probe; and the configuration file it reads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/kv90sim/sim_logger.h"

extern char** environ;

namespace {
std::string Bin(const char* name) {
  const char* dir = std::getenv("TEST_BIN_DIR");
  return std::string(dir ? dir : KV90_BIN_DIR) + "/" + name;
}
std::string Source(const char* rel) {
  const char* dir = std::getenv("TEST_SOURCE_DIR");
  return std::string(dir ? dir : KV90_SOURCE_DIR) + "/" + rel;
}
std::string RunCommand(const std::string& cmd, int* status) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    *status = pclose(p);
  }
  return out;
}
}  // namespace

TEST(Kv90Sim, StartedByHandAndProbed) {
  const std::string dir = (std::filesystem::temp_directory_path() / ("kv90sim-cli-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);
  const std::string link = dir + "/ttyKV90";
  int out[2];
  ASSERT_EQ(0, pipe(out));
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  const std::string sim = Bin("kv90sim"), cfg = Source("tools/kv90sim/example.ini");
  const char* argv[] = {sim.c_str(), "--config", cfg.c_str(), "--link", link.c_str(), nullptr};
  pid_t pid;
  ASSERT_EQ(0, posix_spawn(&pid, sim.c_str(), &fa, nullptr, const_cast<char**>(argv), environ)) << sim << " " << cfg;
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  std::string device;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') device.push_back(c);
  close(out[0]);
  EXPECT_EQ(0u, device.rfind("/dev/pts/", 0)) << device;
  EXPECT_EQ(device, std::filesystem::read_symlink(link).string());

  int status = -1;
  const std::string text = RunCommand(Bin("kv90probe") + " --device " + link + " --memory 2>&1", &status);
  EXPECT_EQ(0, status) << text;
  for (const char* want : {"logger KV90B version 131, reading every 2 s, logging every 1 min",
                           "device 2: EM24, address 7, register 12, 6 words, format 5, 3 channels",
                           "EM24_addr7: A-L1=", "memory: 50 lines, 0 discarded"})
    EXPECT_NE(std::string::npos, text.find(want)) << want << "\n" << text;

  kill(pid, SIGTERM);
  int ws = 0;
  waitpid(pid, &ws, 0);
  EXPECT_TRUE(WIFEXITED(ws) && WEXITSTATUS(ws) == 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))) << "link left behind";
  std::filesystem::remove_all(dir);
}

TEST(Kv90Sim, ConfigurationFile) {
  const auto c = kv90sim::SimConfig::FromText(
      "[Logger]\nAddress=17\nMemoryLines=0\n[Device1]\nType=7\nRegister=50\nWords=2\nFormat=4\n");
  EXPECT_EQ(17, c.Address);
  EXPECT_EQ(0, c.MemoryLines);
  ASSERT_EQ(1u, c.Devices.size());
  EXPECT_EQ(7, c.Devices[0].Type);
  EXPECT_EQ(50, c.Devices[0].Register);
  EXPECT_EQ(1, c.Devices[0].Address);  // default: the section number
  EXPECT_EQ(5u, kv90sim::SimConfig::Default().Devices.size());
  EXPECT_THROW(kv90sim::SimConfig::FromText("[Logger]\nAddress=300\n"), std::runtime_error);
  EXPECT_THROW(kv90sim::SimConfig::Load("/no/such/kv90.ini"), std::runtime_error);
  EXPECT_FALSE(kv90sim::FaultFromName("nonsense"));
  EXPECT_EQ(kv90sim::Fault::DropEnd, kv90sim::FaultFromName("DropEnd"));
}
