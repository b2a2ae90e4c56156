// Linux only: folder modes and a data folder that cannot hold ours.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/working_folder.h"
#include "data_home_fixture.h"

namespace QuickKit {
namespace {

TEST(WorkingFolderLinux, FoldersArePrivate) {
  TemporaryDataHome home;
  const std::string folder = GetWorkingFolder();
  for (const std::string& path : {home.Root() + "/Norvane Lab", folder}) {
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_mode & 0777, 0700u) << path;
  }
  EXPECT_EQ(folder, home.Root() + "/Norvane Lab/NorvaneInstaller/");
}

TEST(WorkingFolderLinux, FolderThatCannotBeMadeIsReportedOnce) {
  TemporaryDataHome home;
  // "Norvane Lab" is taken by a file.
  std::ofstream(home.Root() + "/Norvane Lab") << "in the way";
  try {
    GetWorkingFolder();
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("Norvane Lab/NorvaneInstaller"), std::string::npos)
        << e.what();
  }
  // The teardown asks again: it fails quietly.
  EXPECT_NO_THROW(EXPECT_FALSE(RemoveWorkingFolder()));
  EXPECT_THROW(ExtractLayout(), std::runtime_error);
}

TEST(RemoveDirectoryTreeLinux, LinksAreRemovedNotFollowed) {
  TemporaryDataHome home;
  namespace fs = std::filesystem;
  const fs::path outside = fs::path(home.Root()) / "outside";
  fs::create_directories(outside);
  std::ofstream(outside / "keep.txt") << "keep";
  const fs::path tree = fs::path(home.Root()) / "tree";
  fs::create_directories(tree / "locked");
  fs::create_directory_symlink(outside, tree / "link");
  std::ofstream(tree / "locked" / "f") << "x";
  fs::permissions(tree / "locked", fs::perms::owner_read | fs::perms::owner_exec,
                  fs::perm_options::replace);
  EXPECT_TRUE(RemoveDirectoryTree(tree.string()));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
  EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

}  // namespace
}  // namespace QuickKit
