#include <windows.h>

#include <shellapi.h>

#include <stdexcept>

#include "command_line.h"
#include "support/text.h"

bool CommandLineArguments(int, char**, std::vector<std::string>& args) {
  args.clear();
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return false;
  bool converted = true;
  try {
    for (int i = 1; i < count; ++i) args.push_back(QuickKit::WideToUtf8(wide[i]));
  } catch (const std::range_error&) {
    converted = false;
  }
  ::LocalFree(wide);
  return converted;
}
