// A window of the platform's user interface (an HWND on Windows, the
// port's top-level window on Linux), used as the owner of system dialogs
// and prompts. Null means no owner. Portable code only passes it on.
#pragma once

namespace QuickKit {

using WindowHandle = void*;

}  // namespace QuickKit
