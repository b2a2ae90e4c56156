#include <iostream>
#include <string>
#include <vector>

#include "binary_stdout.h"
#include "catalogue_tool.h"

int main(int argc, char** argv) {
  UseBinaryStdout();
  std::vector<std::string> args(argv + 1, argv + argc);
  const int code = RunCatalogueTool(args, std::cout, std::cerr);
  std::cout.flush();
  return code;
}
