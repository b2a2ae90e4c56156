#include "app/linux_entry.h"

int main(int argc, char** argv) { return bright_setup::RunProgram(argc, argv); }
