#include "install/serial_installer.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "install/installer_process.h"
#include "install/installer_state.h"
#include "support/paths.h"
#include "support/registry.h"

namespace bright_setup {
namespace {

void RemoveFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(QuickKit::PathFromUtf8(path), ignored);
}

// Moves a file, also to another file system (the cache and the working
// folder may lie on two).
bool MoveFile(const std::string& from, const std::string& to) {
  const std::filesystem::path source = QuickKit::PathFromUtf8(from);
  const std::filesystem::path target = QuickKit::PathFromUtf8(to);
  std::error_code error;
  std::filesystem::remove(target, error);
  std::filesystem::rename(source, target, error);
  if (!error) return true;
  const bool copied = std::filesystem::copy_file(source, target, error);
  std::filesystem::remove(source, error);
  if (copied) return true;
  std::filesystem::remove(target, error);
  return false;
}

// A provider's folder, or "" when it has none or throws.
std::string FolderOf(const std::function<std::string()>& provider) {
  try {
    return provider ? provider() : std::string();
  } catch (...) {
    return {};
  }
}

}  // namespace

void InstallProgressCallback::OnProgress(std::int32_t percent) {
  // Never backwards: a download tried again, or started over, goes on from
  // the highest point shown. One thread reports a run's progress.
  if (percent <= m_lastPosted.load()) return;
  m_lastPosted = percent;
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
                                 DownloadCacheProvider downloadCache,
                                 std::shared_ptr<UiDeck::ICustomMessagePoster> poster,
                                 std::string programPath, QuickKit::IReconnectPrompt* prompt,
                                 QuickKit::WindowHandle owner)
    : m_products(std::move(products)),
      m_workingFolder(std::move(workingFolder)),
      m_downloadCache(std::move(downloadCache)),
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
  // A run kept for the next logon keeps its partial downloads too.
  if (!m_keepState) {
    ClearState();
    RemoveDownloadCache();
  }
}

void SerialInstaller::RemoveDownloadCache() {
  const std::string folder = FolderOf(m_downloadCache);
  if (folder.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(QuickKit::PathFromUtf8(folder), ignored);
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
  // Partial downloads stay for a "Try again" while a product may still
  // want them; the destructor removes them at the latest.
  if (finished || outcome.stopped) {
    bool resumable = false;
    for (const ProductOutcome& product : outcome.products) {
      resumable = resumable || product.result == ProductResult::DownloadFailed ||
                  product.result == ProductResult::NotRun;
    }
    if (!resumable) RemoveDownloadCache();
  }
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
    // A saved total below the queue's length (or 0) would give wrong or
    // undefined percentages: the queue's length is the least base there is.
    const auto left = static_cast<std::int64_t>(m_queue.size());
    const std::int64_t base = m_total > left ? m_total : left;
    const std::int64_t done = base - left;
    const auto from = static_cast<std::int32_t>(done * 100 / base);
    const auto to = static_cast<std::int32_t>((done + 1) * 100 / base);

    InstallProduct(from, to, &outcome->products[count - m_queue.size()], &outcome->restartNeeded);
    // A product the stop cut short stays at the front of the saved queue,
    // so that a run kept for the next logon does it again.
    if (Cancelled()) return false;
    m_queue.erase(m_queue.begin());
    m_progress->OnProgress(
        static_cast<std::int32_t>((base - static_cast<std::int64_t>(m_queue.size())) * 100 / base));
  }
  return true;
}

void SerialInstaller::InstallProduct(std::int32_t from, std::int32_t to, ProductOutcome* outcome,
                                     bool* restartNeeded) {
  const std::int32_t productIndex = outcome->productIndex;
  if (FindProduct(productIndex) == nullptr) {
    outcome->result = ProductResult::DownloadFailed;
    return;
  }
  if (IsInstalled(productIndex)) {
    outcome->result = ProductResult::Skipped;
    return;
  }
  ProductResult failure = ProductResult::DownloadFailed;
  const std::string path = DownloadInstaller(productIndex, from, to, &failure);
  if (path.empty()) {
    outcome->result = failure;
    return;
  }
  RunInstaller(path, outcome, restartNeeded);
}

void SerialInstaller::RunInstaller(const std::string& path, ProductOutcome* outcome,
                                   bool* restartNeeded) {
  const CatalogueProduct& product = *FindProduct(outcome->productIndex);
  const std::filesystem::path file = QuickKit::PathFromUtf8(path);
  std::optional<std::uint32_t> code;
  for (std::size_t busy = 0;; ++busy) {
    InstallerProcess process;
    if (FAILED(StartInstaller(QuickKit::PathToUtf8(file.parent_path()),
                              QuickKit::PathToUtf8(file.filename()), &process))) {
      RemoveFile(path);
      outcome->result = ProductResult::StartFailed;
      return;
    }
    code = WaitForInstallerProcess(outcome->productIndex, &process);
    if (Cancelled()) {
      outcome->result = ProductResult::Started;  // the file stays; the folder goes at exit
      return;
    }
    if (code != kExitInstallBusy || busy >= m_policy.busyWaits.size()) break;
    // Another installation holds the system: the same file again later.
    if (WaitForStop(m_policy.busyWaits[busy])) {
      RemoveFile(path);
      outcome->result = ProductResult::NotRun;
      return;
    }
  }
  RemoveFile(path);
  outcome->exitCode = code.value_or(0);
  if (code == kExitRestartRequired || code == kExitRestartInitiated) {
    outcome->result = ProductResult::Installed;
    *restartNeeded = true;
  } else if (code == kExitInstallBusy) {
    outcome->result = ProductResult::Busy;
  } else if (code.has_value() && *code != 0) {
    outcome->result = ProductResult::ExitCode;
  } else if (!product.guid.empty() && !IsInstalled(outcome->productIndex)) {
    // Success, but nothing registered: the person cancelled inside it. A
    // code that could not be read is judged by the key alone.
    outcome->result = ProductResult::NotInstalled;
  } else {
    outcome->result = ProductResult::Installed;
  }
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

  // Both folders are taken when needed, not when the installer was made:
  // one may have gone since, and is made again. One that cannot be made
  // fails the product.
  const std::string cache = FolderOf(m_downloadCache);
  if (cache.empty()) return fail(ProductResult::DownloadFailed);

  QuickKit::DownloadRequest request;
  request.url = product->url;
  request.cacheFolder = cache;
  request.fileName = LocalInstallerName(*product);
  request.sha256 = product->sha256;
  request.owner = m_owner;
  ExeFileDownloadCallback callback(this, from, to);
  QuickKit::DownloadControl control;
  control.prompt = m_prompt;
  control.cancel = m_cancel;
  control.waitForStop = [this](std::chrono::milliseconds limit) { return WaitForStop(limit); };
  control.progress = &callback;
  control.retry = m_policy.retry;
  control.freeSpace = m_policy.freeSpace;
  control.receiveTimeoutMs = m_policy.receiveTimeoutMs;
  const QuickKit::DownloadResult result = QuickKit::DownloadFile(request, control);
  switch (result.status) {
    case QuickKit::DownloadStatus::Complete:
      break;
    case QuickKit::DownloadStatus::Damaged:
      return fail(ProductResult::Damaged);
    case QuickKit::DownloadStatus::DiskFull:
      return fail(ProductResult::DiskFull);
    case QuickKit::DownloadStatus::Cancelled:
      return fail(ProductResult::NotRun);
    case QuickKit::DownloadStatus::Failed:
      return fail(ProductResult::DownloadFailed);
  }
  // Started from the working folder, as every installer is.
  const std::string folder = FolderOf(m_workingFolder);
  const std::string localPath =
      folder.empty()
          ? std::string()
          : QuickKit::PathToUtf8(QuickKit::PathFromUtf8(folder) / LocalInstallerName(*product));
  if (localPath.empty() || !MoveFile(result.path, localPath)) {
    RemoveFile(result.path);
    return fail(ProductResult::DownloadFailed);
  }
  return localPath;
}

std::optional<std::uint32_t> SerialInstaller::WaitForInstallerProcess(std::int32_t productIndex,
                                                                      InstallerProcess* process) {
  std::optional<std::uint32_t> code;
  for (;;) {
    std::uint32_t exitCode = 0;
    const InstallerProcess::State state = process->Wait(kExitWaitSliceMs, &exitCode);
    if (state == InstallerProcess::State::Exited) code = exitCode;
    if (state != InstallerProcess::State::Running) break;
    if (Cancelled()) return code;
  }
  const CatalogueProduct* product = FindProduct(productIndex);
  if (product == nullptr) return code;
  const std::string name = LocalInstallerName(*product);
  while (IsProcessRunning(name)) {
    if (WaitForStop(std::chrono::milliseconds(kWaitIntervalMs))) break;
  }
  return code;
}

}  // namespace bright_setup
