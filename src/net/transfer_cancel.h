// The stop of a transfer that may stall: the owner of a session (the
// installer, the catalogue download, the analytics sender) sets one on the
// session, and a Cancel() from any thread ends whatever open, send or read
// of that session is waiting, within one wait slice of the port (about
// 100 ms), with kTransferCancelled. Every later one fails the same way at
// once: a cancelled session is done for good.
#pragma once

#include <atomic>

#include "net/internet_errors.h"

namespace QuickKit {

// One stop shared by an owner and the transfers it may end. Cancel() may be
// called from any thread, any number of times; it is never reset.
//
// The ports look at it between the slices of every wait (the curl pump's
// poll, the WinINet helper's wait), so it needs no registration: a flag is
// all there is to it.
class TransferCancel {
 public:
  void Cancel() { m_cancelled.store(true); }
  bool IsCancelled() const { return m_cancelled.load(); }

 private:
  std::atomic<bool> m_cancelled{false};
};

// The result of every open, send and read that a cancel ended, or that was
// asked for after it.
inline const HRESULT kTransferCancelled = HRESULT_FROM_WIN32(ERROR_INTERNET_OPERATION_CANCELLED);

}  // namespace QuickKit
