#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "binary_stdout.h"

void UseBinaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }
