#include "binary_stdout.h"

void UseBinaryStdout() {}  // POSIX streams never translate line ends
