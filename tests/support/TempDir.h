#pragma once

#include <filesystem>
#include <string>

// A fresh temporary directory that becomes the working directory for the
// lifetime of the object (so the log and "LUT.jpg" land there); the previous
// working directory is restored and the directory removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// The whole content of a file, or "" when it cannot be read.
std::string readWholeFile(const std::string& path);
