#include <filesystem>
#include <system_error>

#include "support/program_path.h"

namespace QuickKit {

std::string GetProgramPath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

}  // namespace QuickKit
