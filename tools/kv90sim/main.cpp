// kv90sim: a Kv90 logger on a pseudo-terminal.  See README.md.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/base/text.h"
#include "tools/kv90sim/sim_logger.h"

namespace {
volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

void Usage() {
  std::puts(
      "usage: kv90sim [--config FILE] [--link PATH] [--address N] [--rdtime S]\n"
      "               [--wrtime M] [--lines N] [--fault NAME[:COUNT]]... [-v]\n"
      "Opens a pseudo-terminal, prints its device path and answers as a Kv90\n"
      "logger.  Commands on standard input: fault NAME [COUNT], clear,\n"
      "reconfigure, status, quit.  Faults: badcrc badheader badlength silence\n"
      "garbage garbageinside halfframe trickle dropend badline stall.");
}

bool AddFault(kv90sim::SimServer& s, const std::string& faultArg) {
  const auto colon = faultArg.find(':');
  const auto f = kv90sim::FaultFromName(faultArg.substr(0, colon));
  if (!f) return false;
  const int count = colon == std::string::npos ? 1 : static_cast<int>(base::StrToIntDef(faultArg.substr(colon + 1), 1));
  s.InjectFault(*f, count);
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  std::string configPath, linkPath;
  std::vector<std::string> faults;
  int address = -1, rdTime = -1, wrTime = -1;
  long lines = -1;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "kv90sim: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--config") configPath = next();
    else if (a == "--link") linkPath = next();
    else if (a == "--address") address = static_cast<int>(base::StrToIntDef(next(), -1));
    else if (a == "--rdtime") rdTime = static_cast<int>(base::StrToIntDef(next(), -1));
    else if (a == "--wrtime") wrTime = static_cast<int>(base::StrToIntDef(next(), -1));
    else if (a == "--lines") lines = static_cast<long>(base::StrToIntDef(next(), -1));
    else if (a == "--fault") faults.push_back(next());
    else if (a == "-v" || a == "--verbose") verbose = true;
    else if (a == "-h" || a == "--help") { Usage(); return 0; }
    else {
      std::fprintf(stderr, "kv90sim: unknown argument %s\n", a.c_str());
      Usage();
      return 2;
    }
  }
  try {
    kv90sim::SimConfig cfg = configPath.empty() ? kv90sim::SimConfig::Default() : kv90sim::SimConfig::Load(configPath);
    if (address >= 1 && address <= 255) cfg.Address = address;
    if (rdTime >= 0) cfg.RdTime = rdTime;
    if (wrTime >= 0) cfg.WrTime = wrTime;
    if (lines >= 0) cfg.MemoryLines = lines;
    kv90sim::SimServer server(cfg, linkPath);
    server.SetVerbose(verbose);
    for (const auto& f : faults) {
      if (!AddFault(server, f)) {
        std::fprintf(stderr, "kv90sim: unknown fault %s\n", f.c_str());
        return 2;
      }
    }
    std::printf("%s\n", server.DevicePath().c_str());
    std::fflush(stdout);
    if (!linkPath.empty()) std::fprintf(stderr, "kv90sim: %s -> %s, address %d\n", linkPath.c_str(), server.DevicePath().c_str(), cfg.Address);
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    signal(SIGHUP, OnSignal);
    signal(SIGPIPE, SIG_IGN);
    bool stdinOpen = true;
    std::string pending;
    while (!g_stop) {
      pollfd p{0, POLLIN, 0};
      const int r = stdinOpen ? ::poll(&p, 1, 200) : (::usleep(200000), 0);
      for (const auto& l : server.Log()) std::fprintf(stderr, "kv90sim: %s\n", l.c_str());
      if (r <= 0) continue;
      char buf[256];
      const ssize_t n = ::read(0, buf, sizeof buf);
      if (n <= 0) {
        stdinOpen = false;  // keep serving without a console
        continue;
      }
      pending.append(buf, static_cast<std::size_t>(n));
      std::size_t nl;
      while ((nl = pending.find('\n')) != std::string::npos) {
        const auto words = base::Split(base::Trim(pending.substr(0, nl)), ' ');
        pending.erase(0, nl + 1);
        if (words.empty() || words[0].empty()) continue;
        const std::string& cmd = words[0];
        if (cmd == "quit" || cmd == "exit") {
          g_stop = 1;
        } else if (cmd == "fault" && words.size() >= 2) {
          const std::string faultArg = words[1] + (words.size() >= 3 ? ":" + words[2] : "");
          std::fprintf(stderr, AddFault(server, faultArg) ? "kv90sim: fault %s armed\n" : "kv90sim: unknown fault %s\n", words[1].c_str());
        } else if (cmd == "clear") {
          server.ClearFaults();
        } else if (cmd == "reconfigure") {
          server.Reconfigure();
          std::fprintf(stderr, "kv90sim: device layout changed\n");
        } else if (cmd == "status") {
          std::fprintf(stderr, "kv90sim: %ld requests answered, %ld bad frames\n", server.Answered(), server.BadFrames());
        } else {
          std::fprintf(stderr, "kv90sim: unknown command %s\n", cmd.c_str());
        }
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kv90sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
