#include "app/working_folder.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "app/local_folders.h"
#include "app/zip_reader.h"
#include "net/native_file.h"
#include "support/paths.h"
#include "support/resources.h"

namespace QuickKit {
namespace fs = std::filesystem;

namespace {

constexpr char kLayoutZip[] = "layout.zip";
constexpr char kLayoutFolder[] = "layout";
constexpr char kStartPage[] = "layout/production/index.html";

std::string WithSeparator(const fs::path& folder) {
  std::string text = PathToUtf8(folder.lexically_normal());
  if (text.empty() || text.back() != static_cast<char>(fs::path::preferred_separator)) {
    text += static_cast<char>(fs::path::preferred_separator);
  }
  return text;
}

// Lets the owner change and delete what is in a folder, and a file be
// deleted where the system honours a read-only flag.
void MakeRemovable(const fs::path& path, bool isFolder) {
  std::error_code ignored;
  fs::permissions(path,
                  isFolder ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write,
                  fs::perm_options::add, ignored);
}

}  // namespace

std::string GetWorkingFolder() {
  const fs::path base = LocalAppDataFolder();
  if (base.empty() || !base.is_absolute()) {
    throw std::runtime_error("Cannot find the local application-data folder");
  }
  const fs::path folder = base / kMakerFolder / kProgramFolder;
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder)) {
      throw std::runtime_error("Cannot create the working folder \"" + PathToUtf8(folder) +
                               "\": " + (error ? error.message() : "not a folder"));
    }
    for (const fs::path& made : {folder.parent_path(), folder}) MakePrivateFolder(made);
  }
  return WithSeparator(folder);
}

bool RemoveWorkingFolder() {
  try {
    return RemoveDirectoryTree(GetWorkingFolder());
  } catch (const std::exception&) {
    return false;
  }
}

ExtractedLayout ExtractLayout() {
  ExtractedLayout layout;
  const auto fail = [&layout](HRESULT hr, std::string failure) {
    layout.result = FAILED(hr) ? hr : E_FAIL;
    layout.failure = std::move(failure);
    return layout;
  };
  RcData archive;
  HRESULT hr = LoadRcData(kLayoutResourceId, &archive);
  if (FAILED(hr)) return fail(hr, "The program's page is missing from its resources");

  const std::string folder = GetWorkingFolder();
  const std::string zipPath = folder + kLayoutZip;
  ScopedNativeFile file;
  hr = CreateFreshFile(zipPath, &file);
  if (FAILED(hr)) return fail(hr, "Cannot create \"" + zipPath + "\"");
  {
    MemoryAsSeqStream source(static_cast<const void*>(archive.data), archive.size);
    WinFileAsSeqStream target(file.Get());
    hr = CopyStream(&source, nullptr, &target, archive.size);
  }
  file.Reset();  // closed before it is read again and deleted
  bool unpacked = false;
  if (SUCCEEDED(hr)) {
    // Files of the earlier layout that cannot be removed are written over
    // or, when the new layout has no such file, never looked at: only the
    // unpacking below decides whether the page is whole.
    RemoveDirectoryTree(folder + kLayoutFolder);
    unpacked = ExtractZipToFolder(folder, zipPath);
  }
  std::error_code ignored;
  fs::remove(PathFromUtf8(zipPath), ignored);  // a leftover goes with the working folder
  if (FAILED(hr)) return fail(hr, "Cannot write \"" + zipPath + "\"");
  if (!unpacked) return fail(E_FAIL, "Cannot unpack the program's page into \"" + folder + "\"");

  const fs::path startPage = (PathFromUtf8(folder) / kStartPage).make_preferred();
  if (!fs::is_regular_file(startPage, ignored)) {
    return fail(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                "The program's page has no \"" + std::string(kStartPage) + "\"");
  }
  layout.result = S_OK;
  layout.startPage = PathToUtf8(startPage);
  return layout;
}

bool SafeEntryPath(const std::string& entryName, std::string* relativePath) {
  relativePath->clear();
  if (entryName.empty() || entryName.find('\0') != std::string::npos ||
      entryName.find(':') != std::string::npos) {
    return false;
  }
  if (entryName.front() == '/' || entryName.front() == '\\') return false;
  // Both slashes separate folders: a backslash does on Windows.
  std::size_t start = 0;
  std::string out;
  while (start < entryName.size()) {
    std::size_t end = entryName.find_first_of("/\\", start);
    if (end == std::string::npos) end = entryName.size();
    const std::string part = entryName.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return false;
    if (!out.empty()) out += '/';
    out += part;
  }
  if (out.empty()) return false;
  *relativePath = std::move(out);
  return true;
}

bool ExtractZipToFolder(const std::string& folder, const std::string& zipPath) {
  ZipArchive archive;
  if (FAILED(archive.Open(zipPath))) return false;
  const fs::path base = PathFromUtf8(folder);
  bool allWritten = true;
  for (const ZipEntry& entry : archive.Entries()) {
    std::string relative;
    if (!SafeEntryPath(entry.name, &relative)) {
      allWritten = false;
      continue;
    }
    const fs::path target = (base / PathFromUtf8(relative)).make_preferred();
    std::error_code error;
    if (entry.isFolder) {
      fs::create_directories(target, error);
      if (error) allWritten = false;
      continue;
    }
    fs::create_directories(target.parent_path(), error);
    ScopedNativeFile file;
    if (error || FAILED(CreateFreshFile(PathToUtf8(target), &file))) {
      allWritten = false;
      continue;
    }
    WinFileAsSeqStream out(file.Get());
    if (FAILED(archive.Extract(entry, &out))) allWritten = false;
  }
  return allWritten;
}

bool RemoveDirectoryTree(const std::string& path) {
  const fs::path folder = PathFromUtf8(path);
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(folder, error))) return false;
  MakeRemovable(folder, true);
  fs::directory_iterator it(folder, error);
  if (error) return false;
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) return false;
    const fs::path child = it->path();
    const fs::file_status status = it->symlink_status(error);
    if (error) return false;
    if (fs::is_directory(status)) {
      if (!RemoveDirectoryTree(PathToUtf8(child))) return false;
    } else {
      if (!fs::is_symlink(status)) MakeRemovable(child, false);
      if (!fs::remove(child, error) || error) return false;
    }
  }
  if (error) return false;
  return fs::remove(folder, error) && !error;
}

}  // namespace QuickKit
