// norvane-catalogue: checks a catalogue file for the people who write it,
// reading it exactly as the installer reads a downloaded one.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// args without the program name. Returns the exit code.
int RunCatalogueTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
