#include "install/serial_installer.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "install/installer_process.h"
#include "install/installer_state.h"
#include "net/buffered_stream.h"
#include "net/native_file.h"
#include "support/digest.h"
#include "support/paths.h"
#include "support/registry.h"

namespace bright_setup {
namespace {

// Writes the download to its file, through a buffer so that the 512-byte
// chunks do not each cost a system call, and keeps count and SHA-256 of
// what was accepted.
class CheckedFileSink : public QuickKit::ISequentialStream {
 public:
  explicit CheckedFileSink(QuickKit::NativeFile file)
      : m_file(file), m_buffer(&m_file), m_digest(QuickKit::DigestKind::Sha256) {}

  HRESULT Read(void*, std::uint32_t, std::uint32_t*) override { return E_NOTIMPL; }
  HRESULT Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override {
    std::uint32_t written = 0;
    const HRESULT hr = m_buffer.Write(buffer, count, &written);
    m_digest.Update(buffer, written);
    m_bytes += written;
    if (bytesWritten != nullptr) *bytesWritten = written;
    return hr;
  }
  // Everything accepted is on disk: S_OK only then.
  HRESULT Flush() { return m_buffer.Flush(); }

  std::uint64_t Bytes() const { return m_bytes; }
  std::string Sha256Hex() { return QuickKit::ToHex(m_digest.Final()); }

 private:
  QuickKit::WinFileAsSeqStream m_file;
  QuickKit::BufferedSeqStream m_buffer;
  QuickKit::Digest m_digest;
  std::uint64_t m_bytes = 0;
};

void RemoveFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(QuickKit::PathFromUtf8(path), ignored);
}

}  // namespace

void InstallProgressCallback::OnProgress(std::int32_t percent) {
  if (m_lastPosted.exchange(percent) == percent) return;
  if (m_poster != nullptr) {
    m_poster->PostCustomMessage(UiDeck::kInstallProgress, UiDeck::ProgressValue(m_run, percent));
  }
}

void InstallProgressCallback::OnFinished() {
  if (m_poster != nullptr) {
    m_poster->PostCustomMessage(UiDeck::kInstallFinished, static_cast<std::int32_t>(m_run));
  }
}

void SerialInstaller::ExeFileDownloadCallback::OnProgress(std::uint32_t done, std::uint32_t total) {
  bright_setup::IProgressCallback* progress = m_installer->m_progress.get();
  if (progress == nullptr || total == 0 || total == QuickKit::kUnknownTotal) return;
  const double share = static_cast<double>(done) / static_cast<double>(total);
  progress->OnProgress(m_from + static_cast<std::int32_t>(share * (m_to - m_from)));
}

SerialInstaller::SerialInstaller(std::vector<CatalogueProduct> products,
                                 WorkingFolderProvider workingFolder,
                                 std::shared_ptr<UiDeck::ICustomMessagePoster> poster,
                                 std::string programPath, QuickKit::IReconnectPrompt* prompt,
                                 QuickKit::WindowHandle owner)
    : m_products(std::move(products)),
      m_workingFolder(std::move(workingFolder)),
      m_poster(std::move(poster)),
      m_programPath(std::move(programPath)),
      m_prompt(prompt),
      m_owner(owner) {}

SerialInstaller::~SerialInstaller() {
  // Never killed: the loop sees the flag between steps, a wait ends at
  // once, and so does a download, even one stalled on a silent server.
  m_shutdown = true;
  if (m_cancel != nullptr) m_cancel->Cancel();
  WakeWaits();
  Join();
  if (!m_keepState) ClearState();
}

std::uint32_t SerialInstaller::StartInstallation(const std::vector<std::int32_t>& products) {
  return StartRun(static_cast<std::int32_t>(products.size()), products);
}

std::uint32_t SerialInstaller::ResumeInstallation() {
  if (IsRunning()) return 0;  // before the saved state is even read
  InstallerState state = LoadState();
  return StartRun(state.total, std::move(state.queue));
}

std::uint32_t SerialInstaller::StartRun(std::int32_t total, std::vector<std::int32_t> queue) {
  if (m_running.exchange(true)) return 0;
  // The thread of the run before has posted its end, or is about to: let
  // it finish before its callback goes.
  Join();
  const std::uint32_t run = m_run.load() % (UiDeck::kMaxRunNumber - 1) + 1;
  m_total = total;
  m_queue = std::move(queue);
  m_progress = std::make_unique<InstallProgressCallback>(m_poster, run);
  m_cancel = std::make_shared<QuickKit::TransferCancel>();
  // Written before the thread starts, so that a run which ends at once
  // cannot clear the entry before it exists; removed again when no thread
  // comes. A failed write does not stop the run: only a restart could not
  // carry on.
  m_runValueFailed = FAILED(WriteRunValue(m_programPath));
  if (!Start()) {
    RemoveRunValue();
    m_running = false;
    return 0;
  }
  m_run = run;
  return run;
}

void SerialInstaller::RequestStop() {
  if (m_progress != nullptr) m_progress->RequestStop();
  if (m_cancel != nullptr) m_cancel->Cancel();
  WakeWaits();
}

bool SerialInstaller::GetOutcome(std::uint32_t run, RunOutcome* outcome) const {
  std::lock_guard<std::mutex> lock(m_outcomeMutex);
  if (run == 0 || m_outcome.run != run) return false;
  *outcome = m_outcome;
  return true;
}

bool SerialInstaller::Cancelled() {
  return m_shutdown.load() || (m_progress != nullptr && m_progress->IsCancelled());
}

bool SerialInstaller::WaitForStop(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(m_waitMutex);
  return m_waitWake.wait_for(lock, limit, [this] { return Cancelled(); });
}

void SerialInstaller::WakeWaits() {
  // The flags are set before this; taking the lock means a waiter has
  // either seen them or is already waiting when the notice comes.
  { std::lock_guard<std::mutex> lock(m_waitMutex); }
  m_waitWake.notify_all();
}

const CatalogueProduct* SerialInstaller::FindProduct(std::int32_t productIndex) const {
  for (const CatalogueProduct& product : m_products) {
    if (product.productIndex == productIndex) return &product;
  }
  // An index the list does not hold (a saved run from another catalogue)
  // is skipped rather than replaced by some other product.
  return nullptr;
}

std::uint32_t SerialInstaller::Run() {
  RunOutcome outcome;
  outcome.run = m_progress->RunNumber();
  for (std::int32_t index : m_queue) outcome.products.push_back({index, ProductResult::NotRun});
  outcome.stateFailed = m_runValueFailed;

  const bool finished = RunLoop(&outcome);
  outcome.stopped = !finished && m_progress->IsCancelled();
  // A finished or stopped run is over for good. One ended by the
  // destructor alone is not: the destructor decides, and keeps it when the
  // session ends. Cleared before the run counts as over, so that a new
  // run's saved state and Run value are never wiped by this one.
  if ((finished || outcome.stopped) && FAILED(ClearState())) outcome.stateFailed = true;
  {
    std::lock_guard<std::mutex> lock(m_outcomeMutex);
    m_outcome = std::move(outcome);
  }
  // Over before its end is posted: a start made once the page shows the
  // end is never refused; the number in the post tells this end from the
  // next run's.
  m_running = false;
  m_progress->OnFinished();
  return 0;
}

bool SerialInstaller::RunLoop(RunOutcome* outcome) {
  const std::size_t count = m_queue.size();
  while (!m_queue.empty()) {
    if (FAILED(SaveState(m_total, m_queue))) outcome->stateFailed = true;
    if (Cancelled()) return false;
    const std::int32_t id = m_queue.front();
    // A saved total below the queue's length (or 0) would give wrong or
    // undefined percentages: the queue's length is the least base there is.
    const auto left = static_cast<std::int64_t>(m_queue.size());
    const std::int64_t base = m_total > left ? m_total : left;
    const std::int64_t done = base - left;
    const auto from = static_cast<std::int32_t>(done * 100 / base);
    const auto to = static_cast<std::int32_t>((done + 1) * 100 / base);

    outcome->products[count - m_queue.size()].result = InstallProduct(id, from, to);
    // A product the stop cut short stays at the front of the saved queue,
    // so that a run kept for the next logon does it again.
    if (Cancelled()) return false;
    m_queue.erase(m_queue.begin());
    m_progress->OnProgress(
        static_cast<std::int32_t>((base - static_cast<std::int64_t>(m_queue.size())) * 100 / base));
  }
  return true;
}

ProductResult SerialInstaller::InstallProduct(std::int32_t productIndex, std::int32_t from,
                                              std::int32_t to) {
  if (FindProduct(productIndex) == nullptr) return ProductResult::DownloadFailed;
  if (IsInstalled(productIndex)) return ProductResult::Skipped;
  ProductResult failure = ProductResult::DownloadFailed;
  const std::string path = DownloadInstaller(productIndex, from, to, &failure);
  if (path.empty()) return failure;
  const std::filesystem::path file = QuickKit::PathFromUtf8(path);
  InstallerProcess process;
  if (FAILED(StartInstaller(QuickKit::PathToUtf8(file.parent_path()),
                            QuickKit::PathToUtf8(file.filename()), &process))) {
    RemoveFile(path);
    return ProductResult::StartFailed;
  }
  WaitForInstallerProcess(productIndex);
  if (Cancelled()) return ProductResult::Started;  // the file stays; the folder goes at exit
  RemoveFile(path);
  return ProductResult::Installed;
}

bool SerialInstaller::IsInstalled(std::int32_t productIndex) const {
  const CatalogueProduct* product = FindProduct(productIndex);
  if (product == nullptr) return false;
  const std::string key = std::string(QuickKit::kUninstallKeyPath) + "\\" + product->guid;
  return QuickKit::RegistryKeyExists(QuickKit::RegistryHive::LocalMachine, key) ||
         QuickKit::RegistryKeyExists(QuickKit::RegistryHive::CurrentUser, key);
}

std::string SerialInstaller::DownloadInstaller(std::int32_t productIndex, std::int32_t from,
                                               std::int32_t to, ProductResult* failure) {
  const auto fail = [&](ProductResult why) {
    if (failure != nullptr) *failure = Cancelled() ? ProductResult::NotRun : why;
    return std::string();
  };
  const CatalogueProduct* product = FindProduct(productIndex);
  if (product == nullptr || m_prompt == nullptr || product->sha256Malformed)
    return fail(ProductResult::DownloadFailed);

  QuickKit::InternetSession session;
  session.SetCancel(m_cancel);
  QuickKit::InternetStream stream;
  if (FAILED(
          QuickKit::OpenWithReconnectPrompt(product->url, m_owner, &session, &stream, *m_prompt))) {
    return fail(ProductResult::DownloadFailed);
  }
  // The announced length, or kUnknownStreamSize; without it the file could
  // not be checked.
  QuickKit::StreamStat stat;
  if (FAILED(stream.Stat(&stat, QuickKit::STATFLAG_NONAME))) {
    return fail(ProductResult::DownloadFailed);
  }
  // Taken now, not when the installer was made: the folder may have gone
  // since, and is made again. A folder that cannot be made fails the
  // product.
  std::string folder;
  try {
    folder = m_workingFolder ? m_workingFolder() : std::string();
  } catch (...) {
    folder.clear();
  }
  if (folder.empty()) return fail(ProductResult::DownloadFailed);
  const std::string localPath =
      QuickKit::PathToUtf8(QuickKit::PathFromUtf8(folder) / LocalInstallerName(*product));

  QuickKit::ScopedNativeFile file;
  if (FAILED(QuickKit::CreateFreshFile(localPath, &file)))
    return fail(ProductResult::DownloadFailed);
  ExeFileDownloadCallback callback(this, from, to);
  HRESULT copied = S_OK;
  std::uint64_t bytes = 0;
  std::string sha256;
  {
    // The sink and its buffer go before the file is closed.
    CheckedFileSink sink(file.Get());
    copied = QuickKit::CopyStream(&stream, &callback, &sink, static_cast<std::uint32_t>(stat.size));
    const HRESULT flushed = sink.Flush();
    if (SUCCEEDED(copied)) copied = flushed;
    bytes = sink.Bytes();
    sha256 = sink.Sha256Hex();
  }
  file.Reset();
  stream.Close();

  // Only a whole, matching file is ever started.
  ProductResult why = ProductResult::Installed;
  if (FAILED(copied) || Cancelled()) {
    why = ProductResult::DownloadFailed;
  } else if ((stat.size != QuickKit::kUnknownStreamSize && bytes != stat.size) ||
             (!product->sha256.empty() && sha256 != product->sha256)) {
    why = ProductResult::Damaged;
  }
  if (why != ProductResult::Installed) {
    RemoveFile(localPath);
    return fail(why);
  }
  return localPath;
}

void SerialInstaller::WaitForInstallerProcess(std::int32_t productIndex) {
  const CatalogueProduct* product = FindProduct(productIndex);
  if (product == nullptr) return;
  const std::string name = LocalInstallerName(*product);
  while (IsProcessRunning(name)) {
    if (WaitForStop(std::chrono::milliseconds(kWaitIntervalMs))) return;
  }
}

}  // namespace bright_setup
