// A download into a file that survives real networks: transient failures
// are tried again after growing waits, and what arrived before a failure,
// a stop or the end of the session is kept in a cache folder and asked for
// again with Range / If-Range, so that only the missing part travels.
//
// The partial file ("<name>.part") lives beside a small record
// ("<name>.part.info": URL, validator, full length) written before the
// first byte, so a partial file that outlives the process can be resumed by
// the next one. A file is handed out only once it is whole: its length
// matches the advertised one and, when an SHA-256 is expected, its digest
// too.
//
// Used by one thread at a time (the installer's); the stop comes from
// another thread through the TransferCancel and the wait callback.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/disk_space.h"
#include "net/internet.h"
#include "net/reconnect_prompt.h"
#include "net/seq_stream.h"
#include "net/transfer_cancel.h"

namespace QuickKit {

enum class DownloadStatus {
  Complete,   // the whole file is at DownloadResult::path
  Failed,     // no file: the network or the server failed, also after the retries
  Damaged,    // the file arrived whole but its length or SHA-256 was wrong; deleted
  DiskFull,   // too little room for the file (checked first, or a write failed)
  Cancelled,  // stopped; a partial file stays for the next try
};

// The waits before each further try of a transient failure.
struct RetryPolicy {
  std::vector<std::chrono::milliseconds> waits{std::chrono::seconds(2), std::chrono::seconds(4),
                                               std::chrono::seconds(8)};
  // A server's Retry-After up to this long replaces the wait.
  std::chrono::seconds longestRetryAfter{60};
};

struct DownloadRequest {
  std::string url;
  std::string cacheFolder;  // made when missing
  std::string fileName;     // the whole file's name in the cache folder
  std::string sha256;       // expected digest, lower-case hex; empty: none
  WindowHandle owner = nullptr;
};

struct DownloadControl {
  IReconnectPrompt* prompt = nullptr;  // required
  std::shared_ptr<TransferCancel> cancel;
  // Waits up to the time given; true as soon as the download is to stop.
  std::function<bool(std::chrono::milliseconds)> waitForStop;
  // Bytes of the whole file so far and its length (kUnknownTotal when not
  // known); a resumed download starts at the partial length.
  IProgressCallback* progress = nullptr;
  RetryPolicy retry;
  FreeSpaceQuery freeSpace;            // QueryFreeDiskSpace when empty
  std::uint32_t receiveTimeoutMs = 0;  // 0: the session's default
};

struct DownloadResult {
  DownloadStatus status = DownloadStatus::Failed;
  HRESULT error = S_OK;  // the last failure
  std::string path;      // the whole file, on Complete
  int tries = 0;
  std::uint64_t bytesReceived = 0;  // body bytes of every try
};

DownloadResult DownloadFile(const DownloadRequest& request, const DownloadControl& control);

// The cache's file names for a download.
std::string PartialFileName(const std::string& fileName);
std::string PartialRecordName(const std::string& fileName);

// --- The rules, each on its own ---

// Connection refused or reset, a time-out, a body cut short, or one of
// 408, 429, 500, 502, 503, 504.
bool IsTransientFailure(HRESULT hr, std::uint32_t status);

// The wait before try number `failedTries` + 1: the server's Retry-After
// (delta seconds) when it is at most longestRetryAfter, else the policy's
// wait; none once the policy's waits are used up.
std::optional<std::chrono::milliseconds> RetryWait(const RetryPolicy& policy, int failedTries,
                                                   std::string_view retryAfter);

struct ContentRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t length = 0;
};
// "bytes FIRST-LAST/LENGTH" with a known length; false otherwise.
bool ParseContentRange(std::string_view text, ContentRange* range);

// The validator a response is resumed with: a strong ETag, else
// Last-Modified; empty when it has neither (such a download is never
// resumed).
std::string ResumeValidator(std::string_view etag, std::string_view lastModified);

// What a response to a request for the rest of a partial file means.
enum class ResumeAnswer {
  Append,     // 206 for exactly the rest of the same file
  FromStart,  // 200: the whole file again, written over the partial one
  StartOver,  // 416, a changed validator, a range that does not fit: ask again without Range
};
ResumeAnswer JudgeResumeAnswer(std::uint32_t status, std::string_view contentRange,
                               std::string_view validator, std::uint64_t partialLength,
                               std::string_view savedValidator, std::uint64_t fullLength);

// Room a file of `length` needs beside the `present` bytes already on
// disk: the rest of the file plus the larger of 10 % of it and 64 MiB, for
// the installer to unpack.
std::uint64_t RoomNeeded(std::uint64_t length, std::uint64_t present);

}  // namespace QuickKit
