#include "support/xdg_folders_linux.h"

#include <gtest/gtest.h>

#include "scoped_env_posix.h"

namespace QuickKit {
namespace {

// One reading of the XDG rules for the key trees, the autostart entry and
// the working folder: relative values are ignored, defaults lie below $HOME.
TEST(XdgFolders, AbsoluteValuesOrDefaultsBelowHome) {
  struct Case {
    const char* value;  // of XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_CONFIG_DIRS
    const char* home;
    const char* configHome;
    const char* dataHome;
    const char* configDir;
  };
  const Case cases[] = {
      {"/x/y", "/h", "/x/y", "/x/y", "/x/y"},
      {"/x:/z", "/h", "/x:/z", "/x:/z", "/x"},
      {"relative", "/h", "/h/.config", "/h/.local/share", "/etc/xdg"},
      {"", "/h", "/h/.config", "/h/.local/share", "/etc/xdg"},
      {nullptr, "/h", "/h/.config", "/h/.local/share", "/etc/xdg"},
      {nullptr, nullptr, "/.config", "/.local/share", "/etc/xdg"},
  };
  for (const Case& c : cases) {
    const ScopedEnv configHome("XDG_CONFIG_HOME", c.value);
    const ScopedEnv dataHome("XDG_DATA_HOME", c.value);
    const ScopedEnv configDirs("XDG_CONFIG_DIRS", c.value);
    const ScopedEnv home("HOME", c.home);
    const std::string label = std::string(c.value ? c.value : "(unset)");
    EXPECT_EQ(XdgConfigHome(), c.configHome) << label;
    EXPECT_EQ(XdgDataHome(), c.dataHome) << label;
    EXPECT_EQ(XdgFirstConfigDir(), c.configDir) << label;
  }
}

}  // namespace
}  // namespace QuickKit
