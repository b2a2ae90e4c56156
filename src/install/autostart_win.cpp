#include "install/autostart.h"

namespace bright_setup {

// The Run value written beside these calls is the whole mechanism here.
bool WriteAutostartEntry(const std::string&) { return true; }
bool RemoveAutostartEntry() { return true; }

}  // namespace bright_setup
