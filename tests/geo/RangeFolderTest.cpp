// SPDX-License-Identifier: MIT
// Where start-up finds the range files: the working directory first, then the installed data
// folder. This binary is built with its own data folder (QUORVEX_DATA_DIR, a scratch install
// prefix in the build tree), which the test fills and empties; it holds one test, as ctest
// would otherwise run cases that share that folder side by side.
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;

std::string Record4(std::uint32_t Start, std::uint8_t Country) {
  std::string R;
  for (int Shift = 0; Shift < 32; Shift += 8) R += static_cast<char>(Start >> Shift & 0xFF);
  return R + static_cast<char>(Country);
}

std::string Record6(std::uint8_t First, std::uint8_t Country) {
  std::string R(16, '\0');
  R[0] = static_cast<char>(First);
  return R + static_cast<char>(Country);
}

void Put(const fs::path& Path, const std::string& Bytes) {
  std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

TEST(RangeFolder, WorkingDirectoryFirstThenTheInstalledDataFolder) {
  const fs::path Folder{std::string(RangeDataFolder)};
  // The test empties the folder: never one outside the build tree's scratch prefix.
  ASSERT_NE(Folder.string().find("/scratch-prefix/"), std::string::npos) << Folder;
  std::error_code Ignored;
  fs::remove_all(Folder, Ignored);
  fs::create_directories(Folder);
  TTempDir Dir;
  TWorkingDir Cwd(Dir.Path());
  const std::string In4 = Folder / "Ostrand.dat", In6 = Folder / "Ostrand6.dat";

  // Both installed, none here: both from the folder, no notice.
  Put(In4, Record4(0, 72) + Record4(0x05000000, 225));
  Put(In6, Record6(0x20, 54));
  LibOstrandStartup();
  EXPECT_EQ(RangeFilePath(), In4);
  EXPECT_EQ(RangeFile6Path(), In6);
  EXPECT_EQ(RangeTable.size(), 2u);
  EXPECT_EQ(RangeTable6.size(), 1u);
  EXPECT_TRUE(RangeFileInUse() && RangeFile6InUse());
  EXPECT_EQ(RangeFileNotice(), "");

  // The working directory's file wins, file by file; a directory of that name is no file.
  Put(Dir.File("Ostrand.dat"), Record4(0, 14));
  fs::create_directory(Dir.File("Ostrand6.dat"));
  LibOstrandStartup();
  EXPECT_EQ(RangeFilePath(), "Ostrand.dat");
  EXPECT_EQ(RangeFile6Path(), In6);
  EXPECT_EQ(RangeTable.size(), 1u);
  // Whether a lookup happens follows the chosen file, not the other place's.
  fs::remove(In6);
  EXPECT_FALSE(RangeFile6InUse());
  fs::remove(Dir.File("Ostrand.dat"));
  EXPECT_FALSE(RangeFileInUse());
  Put(In4, "x");
  EXPECT_FALSE(RangeFileInUse());

  // Missing in both places: the names in the working directory, and a notice naming them.
  fs::remove(In4);
  LibOstrandShutdown();
  LibOstrandStartup();
  EXPECT_EQ(RangeFilePath(), "Ostrand.dat");
  EXPECT_EQ(RangeFile6Path(), "Ostrand6.dat");
  EXPECT_TRUE(RangeTable.empty() && RangeTable6.empty());
  EXPECT_EQ(RangeFileNotice(), "no range file Ostrand.dat or Ostrand6.dat in the working directory or in " +
                                   Folder.string() + ": addresses are not located and go to ARIN.");
  Put(In6, Record6(0x20, 54));
  LibOstrandStartup();
  EXPECT_EQ(RangeFileNotice(), "no range file Ostrand.dat in the working directory or in " + Folder.string() +
                                   ": IPv4 addresses are not located and go to ARIN.");

  LibOstrandShutdown();
  fs::remove_all(Folder, Ignored);
}

}  // namespace
