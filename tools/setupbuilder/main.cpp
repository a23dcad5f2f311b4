// setupbuilder: command-line front of the setup builder (see README.md).
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/files.h"
#include "tools/setupbuilder/builder.h"

namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "usage:\n"
    "  setupbuilder compile SOURCE OUTPUT        compiled script only\n"
    "  setupbuilder pack FOLDER OUTPUT.res       support archive (zip) of a folder\n"
    "  setupbuilder build --source SOURCE --out DIR [--name NAME] [--engine FILE]\n"
    "               [--resources FOLDER] [--msi FILE] [--msp FILE] [--bmp FILE]\n"
    "               [--append FILE] [--no-res] [--no-qel]\n"
    "    DIR/NAME      the engine with the compiled script appended (NAME: setup)\n"
    "    DIR/NAME.res  the support archive of FOLDER (empty without --resources)\n"
    "    DIR/NAME.msi  a copy of --msi; DIR/qel.lib a copy of the engine's\n"
    "    --append FILE appends FILE's bytes as they are instead of SOURCE\n";

std::string ReadFile(const std::string& path) {
  const auto bytes = base::ReadFileBytes(path);
  if (!bytes) throw setupbuilder::BuildError("cannot read " + path);
  return *bytes;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  if (!out) throw setupbuilder::BuildError("cannot write " + path.string());
}

int Build(const std::vector<std::string>& args) {
  std::map<std::string, std::string> opt;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--no-res" || a == "--no-qel") {
      opt[a] = "1";
    } else if (a.rfind("--", 0) == 0 && i + 1 < args.size()) {
      opt[a] = args[++i];
    } else {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (!opt.count("--out") || (!opt.count("--source") && !opt.count("--append"))) {
    std::cerr << kUsage;
    return 2;
  }
  const fs::path out = opt["--out"];
  const std::string name = opt.count("--name") ? opt["--name"] : "setup";
  const fs::path engine = opt.count("--engine") ? fs::path(opt["--engine"])
                                                : fs::path(base::ExecutableDir()) / "setupengine";
  fs::create_directories(out);

  const std::string script = opt.count("--append") ? ReadFile(opt["--append"])
                                                   : setupbuilder::CompileBytes(setupbuilder::ParseSource(
                                                         ReadFile(opt["--source"])));
  const fs::path exe = out / name;
  WriteFile(exe, ReadFile(engine.string()) + script);
  fs::permissions(exe, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  if (!opt.count("--no-qel")) fs::copy_file(engine.parent_path() / "qel.lib", out / "qel.lib",
                                            fs::copy_options::overwrite_existing);
  if (!opt.count("--no-res"))
    setupbuilder::PackFolder(opt.count("--resources") ? opt["--resources"] : "", (out / (name + ".res")).string());
  for (const char* ext : {"msi", "msp"})
    if (opt.count(std::string("--") + ext))
      fs::copy_file(opt[std::string("--") + ext], out / (name + "." + ext), fs::copy_options::overwrite_existing);
  if (opt.count("--bmp")) fs::copy_file(opt["--bmp"], out / "setup.bmp", fs::copy_options::overwrite_existing);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 3 && args[0] == "compile") {
      WriteFile(args[2], setupbuilder::CompileBytes(setupbuilder::ParseSource(ReadFile(args[1]))));
      return 0;
    }
    if (args.size() == 3 && args[0] == "pack") {
      setupbuilder::PackFolder(args[1], args[2]);
      return 0;
    }
    if (!args.empty() && args[0] == "build") return Build({args.begin() + 1, args.end()});
    std::cerr << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "setupbuilder: " << e.what() << "\n";
    return 1;
  }
}
