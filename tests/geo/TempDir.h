// SPDX-License-Identifier: MIT
// A scratch folder for one test, removed with everything in it when the test ends, and a
// helper that writes a file of given bytes into it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

class TTempDir {
 public:
  TTempDir()
  {
    std::string Pattern = (std::filesystem::temp_directory_path() / "quorvex-geo-XXXXXX").string();
    if (::mkdtemp(Pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_Path = Pattern;
  }
  ~TTempDir()
  {
    std::error_code Ignored;
    std::filesystem::remove_all(m_Path, Ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return m_Path; }
  std::string File(std::string_view Name) const { return (m_Path / Name).string(); }

  std::string Write(std::string_view Name, std::string_view Bytes) const
  {
    const std::string Full = File(Name);
    std::ofstream Out(Full, std::ios::binary | std::ios::trunc);
    Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    return Full;
  }

 private:
  std::filesystem::path m_Path;
};

// Changes the working directory for the life of the object.
class TWorkingDir {
 public:
  explicit TWorkingDir(const std::filesystem::path& Dir) : m_Old(std::filesystem::current_path())
  {
    std::filesystem::current_path(Dir);
  }
  ~TWorkingDir()
  {
    std::error_code Ignored;
    std::filesystem::current_path(m_Old, Ignored);
  }
  TWorkingDir(const TWorkingDir&) = delete;
  TWorkingDir& operator=(const TWorkingDir&) = delete;

 private:
  std::filesystem::path m_Old;
};
