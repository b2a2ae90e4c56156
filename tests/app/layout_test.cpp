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

  const ExtractedLayout layout = ExtractLayout();
  ASSERT_EQ(layout.result, S_OK) << layout.failure;
  EXPECT_TRUE(layout.failure.empty());
  const std::string& index = layout.startPage;
  EXPECT_EQ(PathFromUtf8(index),
            (folder / "layout" / "production" / "index.html").make_preferred());
  EXPECT_TRUE(fs::is_regular_file(PathFromUtf8(index)));
  EXPECT_GT(fs::file_size(PathFromUtf8(index)), 100u);
  EXPECT_TRUE(fs::is_regular_file(folder / "layout" / "external" / "qrCode.png"));
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_FALSE(fs::exists(folder / "layout.zip"));
  EXPECT_TRUE(RemoveWorkingFolder());
}

// A layout that cannot be written is a failure the controller can show, with
// no start page: neither the partial layout nor the one an earlier start left
// is handed on as this program's page.
TEST(ExtractLayout, FailureGivesNoStartPage) {
  struct Case {
    const char* blocked;  // what stands in the way, below the working folder
    bool blockAsFolder;   // a folder with a file in it, or a plain file
    bool earlierLayoutKept;
  };
  const Case cases[] = {
      {"layout", false, false},    // the archive is written, but cannot be unpacked
      {"layout.zip", true, true},  // the archive itself cannot be written
  };
  for (const Case& c : cases) {
    TemporaryDataHome home;
    const fs::path folder = PathFromUtf8(GetWorkingFolder());
    const fs::path blocked = folder / c.blocked;
    const fs::path earlier = folder / "layout" / "production" / "index.html";
    if (c.blockAsFolder) {
      fs::create_directories(earlier.parent_path());
      std::ofstream(earlier) << "<html>an earlier start's page</html>";
      fs::create_directories(blocked);
      std::ofstream(blocked / "in-the-way") << "x";
    } else {
      std::ofstream(blocked) << "in the way";
    }

    const ExtractedLayout layout = ExtractLayout();
    EXPECT_TRUE(FAILED(layout.result)) << c.blocked;
    EXPECT_TRUE(layout.startPage.empty()) << c.blocked;
    EXPECT_NE(layout.failure.find(PathToUtf8(folder)), std::string::npos)
        << c.blocked << ": " << layout.failure;
    EXPECT_EQ(fs::exists(earlier), c.earlierLayoutKept) << c.blocked;
    if (!c.blockAsFolder) {
      EXPECT_FALSE(fs::exists(folder / "layout.zip"));
    }

    // Once the way is clear the next start unpacks the whole page.
    fs::remove_all(blocked);
    const ExtractedLayout again = ExtractLayout();
    EXPECT_EQ(again.result, S_OK) << again.failure;
    EXPECT_TRUE(fs::is_regular_file(PathFromUtf8(again.startPage)));
    EXPECT_TRUE(RemoveWorkingFolder());
  }
}

}  // namespace
}  // namespace QuickKit
