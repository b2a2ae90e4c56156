#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "support/atomic_file.h"
#include "support/paths.h"
#include "support/program_path.h"

namespace QuickKit {
namespace {
namespace fs = std::filesystem;

TEST(AtomicFile, ReplacesWholeAndLeavesNoTemporaryFile) {
  const fs::path folder =
      fs::temp_directory_path() / ("norvane-atomic-" + std::to_string(std::random_device()()));
  fs::create_directories(folder);
  const std::string path = PathToUtf8(folder / "state.txt");
  ASSERT_EQ(WriteFileAtomically(path, "first version, longer"), S_OK);
  ASSERT_EQ(WriteFileAtomically(path, "second"), S_OK);
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
            "second");
  in.close();
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
  // A folder that does not exist: a failure, and nothing is left anywhere.
  EXPECT_TRUE(FAILED(WriteFileAtomically(PathToUtf8(folder / "missing" / "x.txt"), "x")));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
  fs::remove_all(folder);
}

TEST(ProgramPath, NamesThisExecutable) {
  const fs::path path = PathFromUtf8(GetProgramPath());
  EXPECT_TRUE(path.is_absolute());
  EXPECT_EQ(PathToUtf8(path.stem()), "support_tests");
  EXPECT_TRUE(fs::is_regular_file(path));
}

}  // namespace
}  // namespace QuickKit
