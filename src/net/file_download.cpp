#include "net/file_download.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "net/buffered_stream.h"
#include "net/native_file.h"
#include "support/atomic_file.h"
#include "support/digest.h"
#include "support/paths.h"

namespace QuickKit {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kLeastUnpackRoom = std::uint64_t{64} << 20;

// Writes a download to its file through a buffer, so that the 512-byte
// chunks do not each cost a system call, and keeps count and SHA-256 of
// the whole file, bytes already on disk included.
class CheckedFileSink : public ISequentialStream {
 public:
  explicit CheckedFileSink(NativeFile file)
      : m_file(file), m_buffer(&m_file), m_digest(DigestKind::Sha256) {}

  HRESULT Read(void*, std::uint32_t, std::uint32_t*) override { return E_NOTIMPL; }
  HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override {
    std::uint32_t written = 0;
    const HRESULT hr = m_buffer.Write(buffer, count, &written);
    if (FAILED(hr) && SUCCEEDED(m_failure)) m_failure = hr;
    m_digest.Update(buffer, written);
    m_bytes += written;
    if (bytesWritten != nullptr) *bytesWritten = written;
    return hr;
  }

  // Reads the first `length` bytes of the file into the count and the
  // digest, leaving the file positioned after them. False when the file
  // holds fewer.
  bool TakeExisting(std::uint64_t length) {
    std::vector<char> block(64 * 1024);
    while (m_bytes < length) {
      const auto want =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(block.size(), length - m_bytes));
      std::uint32_t got = 0;
      if (FAILED(m_file.Read(block.data(), want, &got)) || got == 0) return false;
      m_digest.Update(block.data(), got);
      m_bytes += got;
    }
    return true;
  }

  // Everything accepted is on disk: S_OK only then.
  HRESULT Flush() {
    const HRESULT hr = m_buffer.Flush();
    if (FAILED(hr) && SUCCEEDED(m_failure)) m_failure = hr;
    return hr;
  }

  // The first failure of the file itself (not of the network).
  HRESULT WriteFailure() const { return m_failure; }
  std::uint64_t Bytes() const { return m_bytes; }
  std::string Sha256Hex() { return ToHex(m_digest.Final()); }

 private:
  WinFileAsSeqStream m_file;
  BufferedSeqStream m_buffer;
  Digest m_digest;
  std::uint64_t m_bytes = 0;
  HRESULT m_failure = S_OK;
};

// Forwards a try's progress as progress of the whole file.
class WholeFileProgress : public IProgressCallback {
 public:
  WholeFileProgress(IProgressCallback* target, std::uint64_t offset, std::uint32_t total,
                    const std::shared_ptr<TransferCancel>& cancel)
      : m_target(target), m_offset(offset), m_total(total), m_cancel(cancel) {}

  void OnProgress(std::uint32_t done, std::uint32_t) override {
    if (m_target != nullptr) {
      m_target->OnProgress(static_cast<std::uint32_t>(m_offset + done), m_total);
    }
  }
  bool IsCancelled() override {
    return (m_cancel != nullptr && m_cancel->IsCancelled()) ||
           (m_target != nullptr && m_target->IsCancelled());
  }

 private:
  IProgressCallback* m_target;
  std::uint64_t m_offset;
  std::uint32_t m_total;
  const std::shared_ptr<TransferCancel>& m_cancel;
};

// What the record beside a partial file says about it.
struct PartialRecord {
  std::string url;
  std::string validator;
  std::uint64_t length = 0;
};

bool ParseNumber(std::string_view text, std::uint64_t* value) {
  if (text.empty()) return false;
  std::uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || number > (~std::uint64_t{0} - 9) / 10) return false;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  *value = number;
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Three lines: URL, validator, full length.
bool LoadRecord(const fs::path& path, PartialRecord* record) {
  ScopedNativeFile file;
  if (FAILED(OpenFileForReading(PathToUtf8(path), &file))) return false;
  std::string text;
  StringAsSeqStreamA target(&text);
  WinFileAsSeqStream source(file.Get());
  if (FAILED(CopyStream(&source, nullptr, &target, kUnknownTotal)) || text.size() > 64 * 1024) {
    return false;
  }
  std::string_view rest = text;
  std::string_view lines[3];
  for (std::string_view& line : lines) {
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) return false;
    line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
  }
  record->url = lines[0];
  record->validator = lines[1];
  return ParseNumber(lines[2], &record->length);
}

HRESULT SaveRecord(const fs::path& path, const PartialRecord& record) {
  // Header values cannot hold line breaks, nor can a URL that was opened;
  // a record that could not be read back is not written.
  for (const std::string* text : {&record.url, &record.validator}) {
    if (text->find_first_of("\r\n") != std::string::npos) return E_INVALIDARG;
  }
  return WriteFileAtomically(PathToUtf8(path), record.url + "\n" + record.validator + "\n" +
                                                   std::to_string(record.length) + "\n");
}

void RemovePath(const fs::path& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

bool IsDiskFull(HRESULT hr) {
  return hr == HRESULT_FROM_WIN32(ERROR_DISK_FULL) ||
         hr == HRESULT_FROM_WIN32(39);  // ERROR_HANDLE_DISK_FULL
}

enum class TryEnd { Complete, Failed, Damaged, DiskFull, Cancelled, StartOver };

struct TryResult {
  TryEnd end = TryEnd::Failed;
  HRESULT error = S_OK;
  std::uint32_t status = 0;
  std::string retryAfter;
};

class Download {
 public:
  Download(const DownloadRequest& request, const DownloadControl& control, DownloadResult* result)
      : m_request(request),
        m_control(control),
        m_result(result),
        m_folder(PathFromUtf8(request.cacheFolder)),
        m_part(m_folder / PathFromUtf8(PartialFileName(request.fileName))),
        m_record(m_folder / PathFromUtf8(PartialRecordName(request.fileName))),
        m_whole(m_folder / PathFromUtf8(request.fileName)) {}

  // One request, and the body it brings. With mayResume, a partial file
  // with a usable record is continued.
  TryResult Try(bool mayResume);

  bool Cancelled() const { return m_control.cancel != nullptr && m_control.cancel->IsCancelled(); }

  bool Wait(std::chrono::milliseconds time) const {
    if (m_control.waitForStop) return m_control.waitForStop(time);
    const auto end = std::chrono::steady_clock::now() + time;
    while (!Cancelled() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Cancelled();
  }

 private:
  static TryResult End(TryEnd end, HRESULT error = S_OK) {
    TryResult result;
    result.end = end;
    result.error = error;
    return result;
  }

  const DownloadRequest& m_request;
  const DownloadControl& m_control;
  DownloadResult* m_result;
  fs::path m_folder;
  fs::path m_part;
  fs::path m_record;
  fs::path m_whole;
};

TryResult Download::Try(bool mayResume) {
  std::error_code error;
  if (!fs::is_directory(m_folder, error)) {
    fs::create_directories(m_folder, error);
    fs::permissions(m_folder, fs::perms::owner_all, error);  // private to the user
    if (!fs::is_directory(m_folder, error)) return End(TryEnd::Failed, E_FAIL);
  }

  PartialRecord saved;
  std::uint64_t present = 0;
  bool resuming = false;
  if (mayResume && LoadRecord(m_record, &saved) && saved.url == m_request.url &&
      !saved.validator.empty()) {
    const std::uintmax_t size = fs::file_size(m_part, error);
    present = error ? 0 : static_cast<std::uint64_t>(size);
    resuming = present > 0 && present < saved.length;
  }
  if (!resuming) {
    RemovePath(m_record);
    RemovePath(m_part);
    present = 0;
  }

  InternetSession session;
  session.SetCancel(m_control.cancel);
  if (m_control.receiveTimeoutMs != 0 && SUCCEEDED(session.Open())) {
    session.SetTimeouts(kDefaultConnectTimeoutMs, m_control.receiveTimeoutMs);
  }
  InternetStream stream;
  if (resuming) {
    stream.SetRequestHeaders("Range: bytes=" + std::to_string(present) +
                             "-\r\nIf-Range: " + saved.validator + "\r\n");
  }
  HRESULT hr =
      OpenWithReconnectPrompt(m_request.url, m_request.owner, &session, &stream, *m_control.prompt);
  if (Cancelled()) return End(TryEnd::Cancelled, kTransferCancelled);
  const std::uint32_t status = stream.HttpStatus();
  if (FAILED(hr)) {
    if (resuming && status == 416) return End(TryEnd::StartOver);
    TryResult result = End(TryEnd::Failed, hr);
    result.status = status;
    stream.ResponseHeader(HttpHeader::RetryAfter, &result.retryAfter);
    return result;
  }
  std::string etag;
  std::string lastModified;
  stream.ResponseHeader(HttpHeader::ETag, &etag);
  stream.ResponseHeader(HttpHeader::LastModified, &lastModified);
  const std::string validator = ResumeValidator(etag, lastModified);

  StreamStat stat;
  hr = stream.Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) return End(Cancelled() ? TryEnd::Cancelled : TryEnd::Failed, hr);
  std::uint64_t length = stat.size;
  bool append = false;
  if (resuming) {
    std::string contentRange;
    stream.ResponseHeader(HttpHeader::ContentRange, &contentRange);
    switch (JudgeResumeAnswer(status, contentRange, validator, present, saved.validator,
                              saved.length)) {
      case ResumeAnswer::Append:
        append = true;
        length = saved.length;
        break;
      case ResumeAnswer::FromStart:
        present = 0;
        break;
      case ResumeAnswer::StartOver:
        return End(TryEnd::StartOver);
    }
  } else if (status == 206) {
    // A part that was not asked for cannot be used.
    return End(TryEnd::Failed, E_FAIL);
  }

  // Too little room fails before a byte is written; an unknown length can
  // only be found out by writing.
  if (length != kUnknownStreamSize) {
    std::uint64_t free = 0;
    const FreeSpaceQuery& query = m_control.freeSpace;
    const HRESULT asked = query ? query(PathToUtf8(m_folder), &free)
                                : QueryFreeDiskSpace(PathToUtf8(m_folder), &free);
    if (SUCCEEDED(asked) && free < RoomNeeded(length, present)) {
      return End(TryEnd::DiskFull, HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    }
  }

  ScopedNativeFile file;
  if (append) {
    hr = OpenFileForUpdate(PathToUtf8(m_part), &file);
  } else {
    // The record of an earlier file goes first, so that it never
    // describes the new one; the new record comes before its first byte.
    RemovePath(m_record);
    hr = CreateFreshFile(PathToUtf8(m_part), &file);
    if (SUCCEEDED(hr) && !validator.empty() && length != kUnknownStreamSize) {
      SaveRecord(m_record, {m_request.url, validator, length});
    }
  }
  if (FAILED(hr)) return End(IsDiskFull(hr) ? TryEnd::DiskFull : TryEnd::Failed, hr);

  HRESULT copied = S_OK;
  HRESULT writeFailure = S_OK;
  std::uint64_t whole = 0;
  std::string sha256;
  {
    // The sink and its buffer go before the file is closed.
    CheckedFileSink sink(file.Get());
    if (append && !sink.TakeExisting(present)) return End(TryEnd::StartOver);
    const auto total =
        length == kUnknownStreamSize ? kUnknownTotal : static_cast<std::uint32_t>(length);
    WholeFileProgress progress(m_control.progress, present, total, m_control.cancel);
    copied = CopyStream(&stream, &progress, &sink, total);
    // What arrived is kept on disk, also after a failure: the next try
    // goes on from it.
    const HRESULT flushed = sink.Flush();
    if (SUCCEEDED(copied)) copied = flushed;
    writeFailure = sink.WriteFailure();
    whole = sink.Bytes();
    m_result->bytesReceived += whole - present;
    sha256 = sink.Sha256Hex();
  }
  file.Reset();
  stream.Close();

  if (Cancelled() || copied == E_ABORT) return End(TryEnd::Cancelled, kTransferCancelled);
  if (FAILED(writeFailure)) {
    return End(IsDiskFull(writeFailure) ? TryEnd::DiskFull : TryEnd::Failed, writeFailure);
  }
  if (FAILED(copied)) {
    TryResult result = End(TryEnd::Failed, copied);
    result.status = status;
    return result;
  }
  // Only a whole, matching file is handed out.
  if ((length != kUnknownStreamSize && whole != length) ||
      (!m_request.sha256.empty() && sha256 != m_request.sha256)) {
    RemovePath(m_part);
    RemovePath(m_record);
    return End(TryEnd::Damaged, E_FAIL);
  }
  RemovePath(m_whole);
  fs::rename(m_part, m_whole, error);
  RemovePath(m_record);
  if (error) {
    RemovePath(m_part);
    return End(TryEnd::Failed, E_FAIL);
  }
  m_result->path = PathToUtf8(m_whole);
  return End(TryEnd::Complete);
}

}  // namespace

std::string PartialFileName(const std::string& fileName) { return fileName + ".part"; }

std::string PartialRecordName(const std::string& fileName) { return fileName + ".part.info"; }

DownloadResult DownloadFile(const DownloadRequest& request, const DownloadControl& control) {
  DownloadResult result;
  if (control.prompt == nullptr || request.fileName.empty()) {
    result.error = E_INVALIDARG;
    return result;
  }
  Download download(request, control, &result);
  for (int failures = 0;;) {
    ++result.tries;
    TryResult one = download.Try(true);
    // A partial file that cannot be continued is dropped, and the whole
    // file asked for at once: that is no failure of the network.
    if (one.end == TryEnd::StartOver) one = download.Try(false);
    result.error = one.error;
    switch (one.end) {
      case TryEnd::Complete:
        result.status = DownloadStatus::Complete;
        return result;
      case TryEnd::Damaged:
        result.status = DownloadStatus::Damaged;
        return result;
      case TryEnd::DiskFull:
        result.status = DownloadStatus::DiskFull;
        return result;
      case TryEnd::Cancelled:
        result.status = DownloadStatus::Cancelled;
        return result;
      case TryEnd::Failed:
      case TryEnd::StartOver:
        break;
    }
    result.status = DownloadStatus::Failed;
    if (one.end != TryEnd::Failed || !IsTransientFailure(one.error, one.status)) return result;
    const std::optional<std::chrono::milliseconds> wait =
        RetryWait(control.retry, ++failures, one.retryAfter);
    if (!wait) return result;
    if (download.Wait(*wait)) {
      result.status = DownloadStatus::Cancelled;
      return result;
    }
  }
}

bool IsTransientFailure(HRESULT hr, std::uint32_t status) {
  switch (status) {
    case 408:
    case 429:
    case 500:
    case 502:
    case 503:
    case 504:
      return true;
    default:
      break;
  }
  if (status >= 400) return false;
  return hr == HRESULT_FROM_WIN32(ERROR_INTERNET_CANNOT_CONNECT) ||
         hr == HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_RESET) ||
         hr == HRESULT_FROM_WIN32(ERROR_INTERNET_CONNECTION_ABORTED) ||
         hr == HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT);
}

std::optional<std::chrono::milliseconds> RetryWait(const RetryPolicy& policy, int failedTries,
                                                   std::string_view retryAfter) {
  if (failedTries < 1 || static_cast<std::size_t>(failedTries) > policy.waits.size()) {
    return std::nullopt;
  }
  std::uint64_t seconds = 0;
  if (ParseNumber(Trimmed(retryAfter), &seconds) &&
      seconds <= static_cast<std::uint64_t>(policy.longestRetryAfter.count())) {
    return std::chrono::seconds(seconds);
  }
  return policy.waits[static_cast<std::size_t>(failedTries) - 1];
}

bool ParseContentRange(std::string_view text, ContentRange* range) {
  text = Trimmed(text);
  constexpr std::string_view kUnit = "bytes ";
  if (text.substr(0, kUnit.size()) != kUnit) return false;
  text.remove_prefix(kUnit.size());
  const std::size_t dash = text.find('-');
  const std::size_t slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
    return false;
  }
  ContentRange parsed;
  if (!ParseNumber(text.substr(0, dash), &parsed.first) ||
      !ParseNumber(text.substr(dash + 1, slash - dash - 1), &parsed.last) ||
      !ParseNumber(text.substr(slash + 1), &parsed.length) || parsed.last < parsed.first ||
      parsed.last >= parsed.length) {
    return false;
  }
  *range = parsed;
  return true;
}

std::string ResumeValidator(std::string_view etag, std::string_view lastModified) {
  etag = Trimmed(etag);
  lastModified = Trimmed(lastModified);
  // A weak tag may not be used in If-Range.
  if (!etag.empty() && etag.substr(0, 2) != "W/") return std::string(etag);
  return std::string(lastModified);
}

ResumeAnswer JudgeResumeAnswer(std::uint32_t status, std::string_view contentRange,
                               std::string_view validator, std::uint64_t partialLength,
                               std::string_view savedValidator, std::uint64_t fullLength) {
  if (status == 416) return ResumeAnswer::StartOver;
  if (status != 206) return ResumeAnswer::FromStart;
  ContentRange range;
  if (!ParseContentRange(contentRange, &range) || range.first != partialLength ||
      range.length != fullLength || range.last + 1 != fullLength) {
    return ResumeAnswer::StartOver;
  }
  if (!validator.empty() && validator != savedValidator) return ResumeAnswer::StartOver;
  return ResumeAnswer::Append;
}

std::uint64_t RoomNeeded(std::uint64_t length, std::uint64_t present) {
  const std::uint64_t rest = length > present ? length - present : 0;
  return rest + std::max(length / 10, kLeastUnpackRoom);
}

}  // namespace QuickKit
