// The XDG base folders that the Linux port keeps its files in, read from
// the environment by one set of rules: a value that is not an absolute
// path is ignored, as the XDG rules say, and the defaults lie below $HOME.
// Any thread; each call reads the environment again.
#pragma once

#include <string>

namespace QuickKit {

// $XDG_CONFIG_HOME, else $HOME/.config: the user's settings (the user's
// key tree, the autostart folder).
std::string XdgConfigHome();

// The first folder of $XDG_CONFIG_DIRS, else /etc/xdg: the machine's
// settings (the machine's key tree).
std::string XdgFirstConfigDir();

// $XDG_DATA_HOME, else $HOME/.local/share: the user's data (the working
// folder).
std::string XdgDataHome();

// $XDG_CACHE_HOME, else $HOME/.cache: files that may be lost (partial
// downloads).
std::string XdgCacheHome();

}  // namespace QuickKit
