#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/working_folder.h"
#include "data_home_fixture.h"
#include "support/paths.h"

namespace QuickKit {
namespace {
namespace fs = std::filesystem;

TEST(WorkingFolder, IsCreatedWithParentsAndEndsWithASeparator) {
  TemporaryDataHome home;
  const std::string folder = GetWorkingFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), static_cast<char>(fs::path::preferred_separator));
  const fs::path path = PathFromUtf8(folder);
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(PathToUtf8(path.parent_path().filename()), "NorvaneInstaller");
  EXPECT_EQ(PathToUtf8(path.parent_path().parent_path().filename()), "Norvane Lab");

  // Deleted by hand: the next call makes it again.
  fs::remove_all(path);
  EXPECT_EQ(GetWorkingFolder(), folder);
  EXPECT_TRUE(fs::is_directory(path));

  EXPECT_TRUE(RemoveWorkingFolder());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::is_directory(path.parent_path().parent_path()));  // "Norvane Lab" stays
}

TEST(ExtractLayout, ReplacesAnEarlierLayoutAndLeavesNoArchive) {
  TemporaryDataHome home;
  const fs::path folder = PathFromUtf8(GetWorkingFolder());
  // What an earlier start left, with a read-only file in it.
  fs::create_directories(folder / "layout" / "old");
  const fs::path stale = folder / "layout" / "old" / "stale.js";
  std::ofstream(stale) << "old";
  fs::permissions(stale, fs::perms::owner_read, fs::perm_options::replace);

  const std::string index = ExtractLayout();
  EXPECT_EQ(PathFromUtf8(index),
            (folder / "layout" / "production" / "index.html").make_preferred());
  EXPECT_TRUE(fs::is_regular_file(PathFromUtf8(index)));
  EXPECT_GT(fs::file_size(PathFromUtf8(index)), 100u);
  EXPECT_TRUE(fs::is_regular_file(folder / "layout" / "external" / "qrCode.png"));
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_FALSE(fs::exists(folder / "layout.zip"));
  EXPECT_TRUE(RemoveWorkingFolder());
}

}  // namespace
}  // namespace QuickKit
