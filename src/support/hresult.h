// Result codes shared by streams, network and the catalogue parser.
//
// On Windows these are the system's own definitions; elsewhere the same
// names carry the same values, so portable code compares results the same
// way on both ports.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

using HRESULT = std::int32_t;

constexpr HRESULT MakeHResult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
constexpr HRESULT E_ABORT = MakeHResult(0x80004004u);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
constexpr HRESULT E_HANDLE = MakeHResult(0x80070006u);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);

// Windows error codes that the program turns into results or reports as
// the last error.
constexpr std::uint32_t ERROR_SUCCESS = 0;
constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr std::uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr std::uint32_t ERROR_BAD_FORMAT = 11;
constexpr std::uint32_t ERROR_INVALID_DATA = 13;
constexpr std::uint32_t ERROR_OUTOFMEMORY = 14;
constexpr std::uint32_t ERROR_NO_MORE_FILES = 18;
constexpr std::uint32_t ERROR_HANDLE_EOF = 38;
constexpr std::uint32_t ERROR_FILE_EXISTS = 80;
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::uint32_t ERROR_DISK_FULL = 112;
constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr std::uint32_t ERROR_ALREADY_EXISTS = 183;
constexpr std::uint32_t ERROR_TIMEOUT = 1460;
constexpr std::uint32_t ERROR_NOT_FOUND = 1168;
constexpr std::uint32_t ERROR_CANCELLED = 1223;
constexpr std::uint32_t ERROR_ALREADY_INITIALIZED = 1247;
constexpr std::uint32_t ERROR_INTERNAL_ERROR = 1359;
constexpr std::uint32_t ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;

// Codes of 0 or below pass unchanged; others become 0x8007xxxx with the
// low 16 bits of the code.
constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t code) {
  return static_cast<HRESULT>(code) <= 0 ? static_cast<HRESULT>(code)
                                         : MakeHResult((code & 0x0000FFFFu) | 0x80070000u);
}

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// The result for a failed POSIX call, from its errno value, expressed as
// the Windows error the same failure gives there.
HRESULT HResultFromErrno(int error);
#endif
