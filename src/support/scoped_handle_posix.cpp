#include <unistd.h>

#include "support/scoped_handle.h"

namespace QuickKit {

// EINTR is not retried: on Linux the descriptor is released either way.
void FdTraits::Close(Handle fd) { ::close(fd); }

}  // namespace QuickKit
