#include <windows.h>

#include <shellapi.h>

#include <stdexcept>

#include "bridge/shell_opener.h"
#include "support/text.h"

namespace bright_setup {

struct ShellOpener::PortState {};

ShellOpener::ShellOpener() = default;
ShellOpener::~ShellOpener() = default;

bool ShellOpener::OpenOnThisPort(const std::string& text) {
  std::wstring file;
  try {
    file = QuickKit::Utf8ToWide(text);
  } catch (const std::range_error&) {
    return false;  // not UTF-8: there is no text to hand over
  }
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWDEFAULT;
  return ::ShellExecuteExW(&info) != FALSE;
}

}  // namespace bright_setup
