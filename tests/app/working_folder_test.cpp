#include "app/working_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "app/zip_reader.h"
#include "support/paths.h"
#include "support/resources.h"
#include "zip_fixture.h"

namespace QuickKit {
namespace {
namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    m_path = fs::temp_directory_path() / ("norvane-app-test-" + std::to_string(random()));
    fs::create_directories(m_path);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_path, ignored);
  }
  const fs::path& Path() const { return m_path; }
  std::string Utf8() const { return PathToUtf8(m_path); }

 private:
  fs::path m_path;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

TEST(SafeEntryPath, RefusesNamesThatLeaveTheFolder) {
  const struct {
    const char* name;
    const char* relative;  // nullptr: refused
  } cases[] = {
      {"layout/production/index.html", "layout/production/index.html"},
      {"layout/", "layout"},
      {"a//b/./c", "a/b/c"},
      {"a\\b", "a/b"},
      {"../evil", nullptr},
      {"layout/../../evil", nullptr},
      {"a\\..\\..\\evil", nullptr},
      {"/etc/passwd", nullptr},
      {"\\windows\\x", nullptr},
      {"C:/windows/x", nullptr},
      {"C:evil", nullptr},
      {"", nullptr},
      {"./", nullptr},
  };
  for (const auto& c : cases) {
    std::string relative;
    EXPECT_EQ(SafeEntryPath(c.name, &relative), c.relative != nullptr) << c.name;
    if (c.relative != nullptr) {
      EXPECT_EQ(relative, c.relative) << c.name;
    }
  }
}

TEST(ExtractZipToFolder, UnpacksFoldersFilesAndNonAsciiNames) {
  TempFolder folder;
  const fs::path zipPath = folder.Path() / "in.zip";
  const std::string cyrillic = "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt";
  const std::string emoji = "\xF0\x9F\x98\x80.txt";
  WriteFile(zipPath, testing_zip::MakeZip({{"layout/", ""},
                                           {"layout/production/", ""},
                                           {"layout/production/index.html", "<html></html>"},
                                           {"layout/" + cyrillic, "privet"},
                                           {"layout/" + emoji, "outside the basic plane"},
                                           {"noparent/deep/file.txt", "folder made on demand"}}));
  const fs::path out = folder.Path() / "out";
  fs::create_directories(out);
  EXPECT_TRUE(ExtractZipToFolder(PathToUtf8(out), PathToUtf8(zipPath)));
  EXPECT_EQ(ReadAll(out / "layout" / "production" / "index.html"), "<html></html>");
  EXPECT_EQ(ReadAll(out / "layout" / PathFromUtf8(cyrillic)), "privet");
  EXPECT_EQ(ReadAll(out / "layout" / PathFromUtf8(emoji)), "outside the basic plane");
  EXPECT_EQ(ReadAll(out / "noparent" / "deep" / "file.txt"), "folder made on demand");
  // The name on disk is the right one, not the UTF-8 bytes read as ANSI.
  bool found = false;
  for (const auto& e : fs::directory_iterator(out / "layout")) {
    found = found || PathToUtf8(e.path().filename()) == cyrillic;
  }
  EXPECT_TRUE(found);
}

TEST(ExtractZipToFolder, HostileEntriesAreRefusedTheRestUnpacked) {
  TempFolder folder;
  const fs::path zipPath = folder.Path() / "in.zip";
  WriteFile(zipPath,
            testing_zip::MakeZip({{"inside/ok.txt", "fine"},
                                  {"../escaped.txt", "must not appear"},
                                  {"inside/../../escaped2.txt", "must not appear"},
                                  {PathToUtf8(folder.Path() / "abs.txt"), "must not appear"}}));
  const fs::path out = folder.Path() / "out";
  fs::create_directories(out);
  EXPECT_FALSE(ExtractZipToFolder(PathToUtf8(out), PathToUtf8(zipPath)));
  EXPECT_EQ(ReadAll(out / "inside" / "ok.txt"), "fine");
  EXPECT_FALSE(fs::exists(folder.Path() / "escaped.txt"));
  EXPECT_FALSE(fs::exists(folder.Path() / "escaped2.txt"));
  EXPECT_FALSE(fs::exists(folder.Path() / "abs.txt"));
}

TEST(ExtractZipToFolder, UnreadableArchiveIsAFailure) {
  TempFolder folder;
  EXPECT_FALSE(ExtractZipToFolder(folder.Utf8(), PathToUtf8(folder.Path() / "missing.zip")));
  WriteFile(folder.Path() / "text.zip", "not a zip");
  EXPECT_FALSE(ExtractZipToFolder(folder.Utf8(), PathToUtf8(folder.Path() / "text.zip")));
}

TEST(RemoveDirectoryTree, RemovesReadOnlyFilesAndNestedFolders) {
  TempFolder folder;
  const fs::path tree = folder.Path() / "tree";
  fs::create_directories(tree / "a" / "b");
  WriteFile(tree / "a" / "b" / "locked.txt", "x");
  fs::permissions(tree / "a" / "b" / "locked.txt", fs::perms::owner_read,
                  fs::perm_options::replace);
  WriteFile(tree / "top.txt", "y");
  EXPECT_TRUE(RemoveDirectoryTree(PathToUtf8(tree)));
  EXPECT_FALSE(fs::exists(tree));
  EXPECT_TRUE(fs::exists(folder.Path()));
  EXPECT_FALSE(RemoveDirectoryTree(PathToUtf8(tree)));  // already gone: nothing to enumerate
}

TEST(Resources, LayoutArchiveHasEveryFolderBeforeItsFiles) {
  RcData layout;
  ASSERT_EQ(LoadRcData(kLayoutResourceId, &layout), S_OK);
  ZipArchive archive;
  ASSERT_EQ(archive.OpenBytes(std::string(reinterpret_cast<const char*>(layout.data), layout.size)),
            S_OK);
  // Every file's folder has its entry before it.
  std::vector<std::string> folders;
  bool hasIndex = false;
  for (const ZipEntry& entry : archive.Entries()) {
    if (entry.isFolder) {
      folders.push_back(entry.name);
      continue;
    }
    const std::string parent = entry.name.substr(0, entry.name.rfind('/') + 1);
    EXPECT_NE(std::find(folders.begin(), folders.end(), parent), folders.end()) << entry.name;
    hasIndex = hasIndex || entry.name == "layout/production/index.html";
  }
  EXPECT_TRUE(hasIndex);
}

}  // namespace
}  // namespace QuickKit
