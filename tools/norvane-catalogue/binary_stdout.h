// Standard output without line-end translation, so the documents the tool
// prints keep their LF line ends on every port.
#pragma once

void UseBinaryStdout();
