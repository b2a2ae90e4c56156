#include "install/serial_installer.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "install/installer_process.h"
#include "install/installer_state.h"
#include "net/buffered_stream.h"
#include "net/native_file.h"
#include "support/digest.h"
#include "support/paths.h"
#include "support/registry.h"

namespace bright_setup {
namespace {

constexpr std::uint32_t kUnknownTotal = 0xFFFFFFFFu;

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
  if (m_poster != nullptr) m_poster->PostCustomMessage(UiDeck::kInstallProgress, percent);
}

void InstallProgressCallback::OnFinished() {
  if (m_poster != nullptr) m_poster->PostCustomMessage(UiDeck::kInstallFinished, 0);
}

void SerialInstaller::ExeFileDownloadCallback::OnProgress(std::uint32_t done, std::uint32_t total) {
  bright_setup::IProgressCallback* progress = m_installer->m_progress;
  if (progress == nullptr || total == 0 || total == kUnknownTotal) return;
  const double share = static_cast<double>(done) / static_cast<double>(total);
  progress->OnProgress(m_from + static_cast<std::int32_t>(share * (m_to - m_from)));
}

SerialInstaller::SerialInstaller(std::vector<CatalogueProduct> products, std::string workingFolder,
                                 QuickKit::IReconnectPrompt* prompt, QuickKit::WindowHandle owner)
    : m_products(std::move(products)),
      m_workingFolder(std::move(workingFolder)),
      m_prompt(prompt),
      m_owner(owner) {}

SerialInstaller::~SerialInstaller() {
  // Never killed: the loop sees the flag between steps, at the latest after
  // one download chunk or one wait interval.
  m_shutdown = true;
  Join();
  ClearState();
}

bool SerialInstaller::StartRun(std::int32_t total, std::vector<std::int32_t> queue,
                               IProgressCallback* progress) {
  if (m_running.exchange(true)) return false;
  Join();  // the thread of the run before has ended; let it go
  m_total = total;
  m_queue = std::move(queue);
  m_progress = progress;
  if (!Start()) {
    m_running = false;
    return false;
  }
  return true;
}

bool SerialInstaller::Cancelled() {
  return m_shutdown.load() || (m_progress != nullptr && m_progress->IsCancelled());
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
  RunLoop();
  // Cleared before the run counts as over, so that a new run's saved state
  // and Run value are never wiped by this one.
  ClearState();
  m_running = false;
  if (m_progress != nullptr) m_progress->OnFinished();
  return 0;
}

void SerialInstaller::RunLoop() {
  while (!m_queue.empty()) {
    SaveState(m_total, m_queue);
    if (Cancelled()) return;
    const std::int32_t id = m_queue.front();
    // A saved total below the queue's length (or 0) would give wrong or
    // undefined percentages: the queue's length is the least base there is.
    const auto left = static_cast<std::int64_t>(m_queue.size());
    const std::int64_t base = m_total > left ? m_total : left;
    const std::int64_t done = base - left;
    const auto from = static_cast<std::int32_t>(done * 100 / base);
    const auto to = static_cast<std::int32_t>((done + 1) * 100 / base);

    if (FindProduct(id) != nullptr && !IsInstalled(id)) {
      const std::string path = DownloadInstaller(id, from, to);
      if (!path.empty()) {
        const std::filesystem::path file = QuickKit::PathFromUtf8(path);
        InstallerProcess process;
        StartInstaller(QuickKit::PathToUtf8(file.parent_path()),
                       QuickKit::PathToUtf8(file.filename()),
                       &process);  // a failed start counts as done
        WaitForInstallerProcess(id);
        if (Cancelled()) return;  // the file stays; the working folder goes at exit
        RemoveFile(path);
      }
    }
    m_queue.erase(m_queue.begin());
    if (m_progress != nullptr) {
      m_progress->OnProgress(static_cast<std::int32_t>(
          (base - static_cast<std::int64_t>(m_queue.size())) * 100 / base));
    }
  }
}

bool SerialInstaller::IsInstalled(std::int32_t productIndex) const {
  const CatalogueProduct* product = FindProduct(productIndex);
  if (product == nullptr) return false;
  const std::string key = std::string(kUninstallKey) + "\\" + product->guid;
  return QuickKit::RegistryKeyExists(QuickKit::RegistryHive::LocalMachine, key) ||
         QuickKit::RegistryKeyExists(QuickKit::RegistryHive::CurrentUser, key);
}

std::string SerialInstaller::DownloadInstaller(std::int32_t productIndex, std::int32_t from,
                                               std::int32_t to) {
  const CatalogueProduct* product = FindProduct(productIndex);
  if (product == nullptr || m_prompt == nullptr) return {};
  const std::string localPath = m_workingFolder + LocalInstallerName(*product);

  QuickKit::InternetSession session;
  QuickKit::InternetStream stream;
  if (FAILED(
          QuickKit::OpenWithReconnectPrompt(product->url, m_owner, &session, &stream, *m_prompt))) {
    return {};
  }
  QuickKit::ScopedNativeFile file;
  if (FAILED(QuickKit::CreateFreshFile(localPath, &file))) return {};

  QuickKit::StreamStat stat;
  stream.Stat(&stat, QuickKit::STATFLAG_NONAME);
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
  bool usable = SUCCEEDED(copied) && !Cancelled();
  if (stat.size != QuickKit::kUnknownStreamSize && bytes != stat.size) usable = false;
  if (!product->sha256.empty() && sha256 != product->sha256) usable = false;
  if (!usable) {
    RemoveFile(localPath);
    return {};
  }
  return localPath;
}

void SerialInstaller::WaitForInstallerProcess(std::int32_t productIndex) {
  const CatalogueProduct* product = FindProduct(productIndex);
  if (product == nullptr) return;
  const std::string name = LocalInstallerName(*product);
  constexpr int kSlices = 10;
  while (IsProcessRunning(name)) {
    // The destructor need not wait a whole interval.
    for (int i = 0; i < kSlices && !m_shutdown; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kWaitIntervalMs / kSlices));
    }
    if (Cancelled()) return;
  }
}

namespace {

bool StartWith(SerialInstaller& installer, std::unique_ptr<InstallProgressCallback>& callback,
               UiDeck::ICustomMessagePoster* poster, std::int32_t total,
               std::vector<std::int32_t> queue, const std::string& programPath) {
  if (installer.IsRunning()) return false;
  auto fresh = std::make_unique<InstallProgressCallback>(poster);
  WriteRunValue(programPath);
  if (!installer.StartRun(total, std::move(queue), fresh.get())) return false;
  // StartRun has waited for the thread of an earlier run: its callback is
  // no longer in use.
  callback = std::move(fresh);
  return true;
}

}  // namespace

bool StartInstallation(SerialInstaller& installer,
                       std::unique_ptr<InstallProgressCallback>& callback,
                       UiDeck::ICustomMessagePoster* poster,
                       const std::vector<std::int32_t>& selectedProducts,
                       const std::string& programPath) {
  return StartWith(installer, callback, poster, static_cast<std::int32_t>(selectedProducts.size()),
                   selectedProducts, programPath);
}

bool ResumeInstallation(SerialInstaller& installer,
                        std::unique_ptr<InstallProgressCallback>& callback,
                        UiDeck::ICustomMessagePoster* poster, const std::string& programPath) {
  InstallerState state = LoadState();
  return StartWith(installer, callback, poster, state.total, std::move(state.queue), programPath);
}

}  // namespace bright_setup
