// End-to-end helpers: setups made by the real setupbuilder, run as the real
// setupengine in a fresh temporary folder and a fresh machine folder.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>
#include "platform/base/files.h"

namespace setup_test {

namespace fs = std::filesystem;

inline std::string ReadAll(const fs::path& p) { return base::ReadFileBytes(p.string()).value_or(""); }

inline void WriteAll(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// UTF-16LE bytes of ASCII/Latin-1 text -> text (other characters as '?').
inline std::string FromUtf16(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    out += bytes[i + 1] == 0 ? bytes[i] : '?';
  return out;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out.push_back(cur);
      cur.clear();
      ++i;
    } else if (text[i] == '\n') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += text[i];
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

struct RunResult {
  int status = -1;        // exit status (low 8 bits), -1 when killed by a signal
  int signal = 0;         // the signal that ended it, 0 when it exited
  std::string stderrText;
  std::string stdoutText;
};

class SetupFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    // TEST_BIN_DIR, else build/bin beside this test's build/tests.
    const char* bin = std::getenv("TEST_BIN_DIR");
    bin_ = bin && *bin ? std::string(bin) : (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin").string();
    ASSERT_TRUE(fs::exists(bin_ + "/setupengine") && fs::exists(bin_ + "/setupbuilder")) << "no programs in " << bin_;
    char tmpl[] = "/tmp/setupe2e.XXXXXX";
    root_ = mkdtemp(tmpl);
    tmp_ = root_ / "tmp";
    machine_ = root_ / "machine";
    out_ = root_ / "setup";
    fs::create_directories(tmp_);
    runtime_ = root_ / "runtime";
    fs::create_directories(runtime_);
    fs::permissions(runtime_, fs::perms::owner_all);
    WriteAll(root_ / "dummy.msi", "not a real database yet");
  }
  void TearDown() override {
    if (!root_.empty()) fs::remove_all(root_);
  }

  // Builds out_/setup from a source text; extra builder arguments appended.
  void Build(const std::string& source, const std::string& extra = "") {
    WriteAll(root_ / "script.setup", source);
    const std::string cmd = Quote(bin_ + "/setupbuilder") + " build --source " + Quote((root_ / "script.setup").string()) +
                            " --out " + Quote(out_.string()) + " --msi " + Quote((root_ / "dummy.msi").string()) + " " +
                            extra + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }

  // Runs an executable with the fresh folders and the message-box log, in
  // root_, killed after 60 seconds (a hang shows as signal 9).
  RunResult Run(const fs::path& exe, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env = {}) {
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
      const std::string kv = *e;
      const auto eq = kv.find('=');
      if (eq != std::string::npos) vars[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    vars["TMPDIR"] = tmp_.string();
    vars["SETUPENGINE_MACHINE"] = machine_.string();
    vars["SETUPENGINE_MSGBOX_LOG"] = (root_ / "boxes.log").string();
    vars["QT_QPA_PLATFORM"] = "offscreen";
    vars["XDG_RUNTIME_DIR"] = runtime_.string();  // Qt would make one in TMPDIR and say so
    for (const auto& [k, v] : env) {
      if (v.empty()) vars.erase(k); else vars[k] = v;
    }
    std::vector<std::string> envStrings, argStrings{exe.string()};
    for (const auto& [k, v] : vars) envStrings.push_back(k + "=" + v);
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> envp, argv;
    for (auto& s : envStrings) envp.push_back(s.data());
    for (auto& s : argStrings) argv.push_back(s.data());
    envp.push_back(nullptr);
    argv.push_back(nullptr);
    const std::string outPath = (root_ / "stdout.txt").string(), errPath = (root_ / "stderr.txt").string();
    const std::string cwd = root_.string();

    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(cwd.c_str()) != 0) _exit(120);
      const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0) _exit(121);
      dup2(out, 1);
      dup2(err, 2);
      execve(argv[0], argv.data(), envp.data());
      _exit(122);
    }
    RunResult r;
    int raw = 0;
    for (int waited = 0;; waited += 20) {
      const pid_t done = waitpid(pid, &raw, WNOHANG);
      if (done == pid) break;
      if (waited > 60000) kill(pid, SIGKILL);
      usleep(20000);
    }
    if (WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) r.signal = WTERMSIG(raw);
    r.stderrText = ReadAll(errPath);
    r.stdoutText = ReadAll(outPath);
    return r;
  }
  RunResult RunSetup(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {}) {
    return Run(out_ / "setup", args, env);
  }

  std::vector<std::string> Boxes() { return Lines(ReadAll(root_ / "boxes.log")); }
  std::vector<std::string> TempEntries() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(tmp_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string bin_;
  fs::path root_, tmp_, machine_, out_, runtime_;
};

}  // namespace setup_test
