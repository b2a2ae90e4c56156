// One owner for every operating-system handle: it closes the handle on
// destruction or when a new value replaces it.
#pragma once

#include <utility>

#ifdef _WIN32
#include <windows.h>
#include <wininet.h>
#endif

namespace QuickKit {

// Traits supply the handle type, its invalid value and how to close it:
//   using Handle = ...; static Handle Invalid(); static void Close(Handle);
template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle value) : m_value(value) {}
  ~ScopedHandle() { Close(); }

  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : m_value(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  // Closes the value held (when valid) and takes the new one.
  void Reset(Handle value = Traits::Invalid()) {
    if (value == m_value) return;
    Close();
    m_value = value;
  }
  ScopedHandle& operator=(Handle value) {
    Reset(value);
    return *this;
  }

  // Gives the value up without closing it.
  Handle Release() { return std::exchange(m_value, Traits::Invalid()); }

  Handle Get() const { return m_value; }
  bool IsValid() const { return m_value != Traits::Invalid(); }
  explicit operator bool() const { return IsValid(); }

 private:
  void Close() {
    if (IsValid()) Traits::Close(std::exchange(m_value, Traits::Invalid()));
  }

  Handle m_value = Traits::Invalid();
};

#ifdef _WIN32

struct KernelHandleTraits {  // mutex, thread and process handles
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFileW
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct InternetHandleTraits {  // WinINet sessions, connections, requests
  using Handle = HINTERNET;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::InternetCloseHandle(h); }
};
struct ModuleHandleTraits {  // LoadLibraryW
  using Handle = HINSTANCE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};
struct FindHandleTraits {  // FindFirstFileW
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};

using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedFileHandle = ScopedHandle<FileHandleTraits>;
using ScopedInternetHandle = ScopedHandle<InternetHandleTraits>;
using ScopedModuleHandle = ScopedHandle<ModuleHandleTraits>;
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;

#else

struct FdTraits {  // POSIX file descriptors
  using Handle = int;
  static Handle Invalid() { return -1; }
  static void Close(Handle fd);
};

using ScopedFd = ScopedHandle<FdTraits>;

#endif

}  // namespace QuickKit
