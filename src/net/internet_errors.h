// Windows and WinINet error codes that network results are made of. On
// Windows they are the system's own; the Linux port maps its transfer
// errors onto the same codes, so callers see one set of results.
#pragma once

#include "support/hresult.h"

#ifdef _WIN32
#include <wininet.h>
#else
#include <cstdint>

constexpr std::uint32_t ERROR_INVALID_STATE = 5023;

constexpr std::uint32_t ERROR_INTERNET_OUT_OF_HANDLES = 12001;
constexpr std::uint32_t ERROR_INTERNET_TIMEOUT = 12002;
constexpr std::uint32_t ERROR_INTERNET_EXTENDED_ERROR = 12003;
constexpr std::uint32_t ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr std::uint32_t ERROR_INTERNET_INVALID_URL = 12005;
constexpr std::uint32_t ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
constexpr std::uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr std::uint32_t ERROR_INTERNET_OPERATION_CANCELLED = 12017;
constexpr std::uint32_t ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr std::uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr std::uint32_t ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr std::uint32_t ERROR_INTERNET_FORCE_RETRY = 12032;
constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
constexpr std::uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr std::uint32_t ERROR_INTERNET_INVALID_CA = 12045;
constexpr std::uint32_t ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
constexpr std::uint32_t ERROR_INTERNET_PROXY_SERVER_UNREACHABLE = 12165;
constexpr std::uint32_t ERROR_HTTP_HEADER_NOT_FOUND = 12150;
constexpr std::uint32_t ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr std::uint32_t ERROR_HTTP_REDIRECT_FAILED = 12156;
#endif
