#include <iostream>
#include <string>
#include <vector>

#include "binary_stdout.h"
#include "catalogue_tool.h"
#include "command_line.h"

int main(int argc, char** argv) {
  UseBinaryStdout();
  std::vector<std::string> args;
  if (!CommandLineArguments(argc, argv, args)) {
    std::cerr << "norvane-catalogue: the command line cannot be read as Unicode\n";
    return 2;
  }
  const int code = RunCatalogueTool(args, std::cout, std::cerr);
  std::cout.flush();
  return code;
}
