// A fresh machine folder per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace machine_test {

inline std::string MakeTempDir(const char* tag) {
  std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(tag) + "-XXXXXX")).string();
  char* made = mkdtemp(tmpl.data());
  EXPECT_NE(made, nullptr);
  return tmpl;
}

class TempDir {
 public:
  explicit TempDir(const char* tag = "machine") : path_(MakeTempDir(tag)) {}
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

 private:
  std::string path_;
};

inline bool IsDir(const std::string& p) { return std::filesystem::is_directory(p); }

inline void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

inline std::string ReadText(const std::string& path) {
  std::string s;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
  }
  return s;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      had_ = true;
      old_ = old;
    }
    if (value) setenv(name, value, 1); else unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1); else unsetenv(name_.c_str());
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

}  // namespace machine_test
