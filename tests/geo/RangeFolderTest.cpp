// SPDX-License-Identifier: MIT
// Where start-up finds the range files: the working directory first, then the installed data
// folder. This binary is built with a data folder of its own (QUORVEX_DATA_DIR, a scratch
// install prefix in the build tree), which the test fills and empties; it holds one test, as
// ctest would otherwise run cases that share that folder side by side.
#include "geo/LibOstrand.h"

#include "tests/geo/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(RangeFolder, WorkingDirectoryFirstThenTheInstalledDataFolder)
{
  const std::string Folder(RangeDataFolder);
  // The test empties the folder: never one outside the build tree's scratch prefix.
  ASSERT_NE(Folder.find("/scratch-prefix/"), std::string::npos) << Folder;
  fs::remove_all(Folder);
  fs::create_directories(Folder);
  TTempDir Dir;
  TWorkingDir Cwd(Dir.Path());
  const std::string In4 = Folder + "/Ostrand.dat", In6 = Folder + "/Ostrand6.dat";
  auto Put = [](const std::string& Path, std::size_t Bytes) { std::ofstream(Path) << std::string(Bytes, '\x01'); };

  // Both installed, none here: both from the folder, no notice.
  Put(In4, 10);
  Put(In6, 17);
  LibOstrandStartup();
  EXPECT_EQ(RangeFilePath(), In4);
  EXPECT_EQ(RangeFile6Path(), In6);
  EXPECT_EQ(RangeTable.size() + RangeTable6.size(), 3u);
  EXPECT_TRUE(RangeFileInUse() && RangeFile6InUse());
  EXPECT_EQ(RangeFileNotice(), "");
  // Searched in place, the answers come from the same files (country byte 1).
  LibOstrandStartup(TRangeAccess::InPlace);
  EXPECT_EQ(FindCountryIndex(0x7F000001), 1);
  EXPECT_EQ(FindCountryIndex6({0x20, 0x01}), 1);
  EXPECT_EQ(RangeFilePath(), In4);
  EXPECT_EQ(RangeFileNotice(), "");

  // The working directory's file wins, file by file; a directory of that name is no file.
  // Whether a lookup happens follows the chosen file, not the other place's.
  Put(Dir.File("Ostrand.dat"), 5);
  fs::create_directory(Dir.File("Ostrand6.dat"));
  LibOstrandStartup();
  EXPECT_EQ(RangeFilePath(), "Ostrand.dat");
  EXPECT_EQ(RangeFile6Path(), In6);
  EXPECT_EQ(RangeTable.size(), 1u);
  fs::remove(Dir.File("Ostrand.dat"));
  fs::remove(In6);
  EXPECT_FALSE(RangeFileInUse() || RangeFile6InUse());

  // Missing in both places: the names here, and the notice once no file is found at all.
  fs::remove(In4);
  LibOstrandStartup();
  EXPECT_EQ(RangeFilePath(), "Ostrand.dat");
  EXPECT_EQ(RangeFile6Path(), "Ostrand6.dat");
  EXPECT_EQ(RangeFileNotice(), "no range file Ostrand.dat or Ostrand6.dat in the working directory or in " + Folder +
                                   ": addresses are not located and go to ARIN.");
  Put(In6, 17);
  LibOstrandStartup();
  EXPECT_EQ(RangeFileNotice(), "");
  LibOstrandShutdown();
  fs::remove_all(Folder);
}

}  // namespace
