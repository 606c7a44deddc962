#include "desktop/windows/installer/package_fetcher/package_fetcher_worker_win.h"

#include <windows.h>

#include <utility>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/thread_task_runner_registration.h"
#include "base/values.h"
#include "base/win/windows_version.h"
#include "components/prefs/json_pref_store.h"
#include "components/prefs/prefs_task_pool.h"
#include "desktop/windows/installer/common/acquisition_switches.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/installer_global_lock.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/stats_document.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/package_fetcher/checksum_checker.h"
#include "desktop/windows/installer/package_fetcher/lzma_util.h"
#include "desktop/windows/installer/package_fetcher/package_server_reply.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/package_fetcher/signature_verifier_win.h"
#include "desktop/windows/installer/wininet/allowed_hosts.h"
#include "desktop/windows/installer/wininet/download_observer.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"
#include "desktop/windows/installer/wininet/wininet_response_writer.h"

namespace installer {

namespace {

// Files of the package folder and the download folder.
constexpr char kServerTrackingDataFile[] = "server_tracking_data";
constexpr char kPrefsIncludeFile[] = "installer_prefs_include.json";
constexpr char kFilesListFile[] = "files_list";
constexpr char kPartnerTempFile[] = "partner_content.tmp";
constexpr char kWelcomeUrlPref[] = "welcome-url";

// The update server's address below its base URL.
constexpr char kNetInstallerPath[] = "netinstaller/";
constexpr char kX64Path[] = "/windows/x64/";
constexpr char kInternalUpdateServerUrl[] =
    "http://autoupdate.velna-internal.net/";
constexpr char kX64DownloadFeature[] = "installer-support-x64-download";
// A version that may stand in for this installer's own in the version check
// (a build-time choice; none in this build).
constexpr char kAllowedVersionOverride[] = "";
// More than a version or a stream name ever needs.
constexpr size_t kMaxChildOutput = 1024;
// The server's reply is a few hundred bytes; a larger one is refused rather
// than held in memory.
constexpr size_t kMaxReplySize = 1024 * 1024;
constexpr base::TimeDelta kWelcomeUrlWriteWait =
    base::TimeDelta::FromMicroseconds(10 * 1000 * 1000);

// The step whose posts ReadPayload() makes, a part of Start().
constexpr char kStartStep[] = "Start";

// Statistics keys (and kStatsFetchesKey, kStatsDownloadChunksKey).
constexpr char kTryNumberKey[] = "try_number";
constexpr char kStartTimeKey[] = "start_time";
constexpr char kPayloadTypeKey[] = "payload_type";
constexpr char kFetchDownloadUrlStartTimeKey[] =
    "fetch_download_url_start_time";
constexpr char kFetchDownloadUrlPrefix[] = "fetch_download_url_";
constexpr char kDownloadUrlKey[] = "download_url";
constexpr char kDownloadStartTimeKey[] = "download_start_time";
constexpr char kInstallationStartDownloadTimeKey[] =
    "installation_start_download_time";
constexpr char kDownloadEndTimeKey[] = "download_end_time";
constexpr char kInternalVersionKey[] = "internal_version";
constexpr char kStreamKey[] = "stream";
constexpr char kExtractStartTimeKey[] = "extract_start_time";
constexpr char kUnpackStartTimeKey[] = "unpack_start_time";
constexpr char kInstallationStartUnpackingTimeKey[] =
    "installation_start_unpacking_time";
constexpr char kUnpackEndTimeKey[] = "unpack_end_time";
constexpr char kInstallationUnpackCompleteTimeKey[] =
    "installation_unpack_complete_time";
// The key's spelling is what the statistics server knows.
constexpr char kAdditionalFilesKey[] = "addtional_files";
constexpr char kDownloadSucceededKey[] = "download_succeeded";
constexpr char kDownloadTriesKey[] = "download_tries";
constexpr char kPackageReadyTimeKey[] = "package_ready_time";
constexpr char kResultKey[] = "result";
constexpr char kFetcherRestartsKey[] = "fetcher_restarts";

constexpr char kPayloadFullPackage[] = "full_package";
constexpr char kPayloadTrackingData[] = "tracking_data";
constexpr char kPayloadNone[] = "none";

// Failure texts, logged and stored as "failure_reason".
constexpr char kCleanFailed[] =
    "Unable to obtain or clean the download/extraction path";
constexpr char kCorruptedPayload[] = "Corrupted payload";
constexpr char kFetchUrlFailed[] = "Failed fetching the download URL";
constexpr char kParseReplyFailed[] = "Failed parsing json reply";
constexpr char kOpenDestinationFailed[] =
    "Failed initializing the file to use as download destination";
constexpr char kDownloadFailed[] = "Failed downloading the Velna package";
constexpr char kChecksumIncorrect[] =
    "Checksum incorrect for the downloaded package";
constexpr char kSignatureIncorrect[] =
    "Signature incorrect for the downloaded package";
constexpr char kPackageOlder[] =
    "Downloaded package is older than the installer";
constexpr char kPackageOtherStream[] =
    "Downloaded package is of a different stream than the installer";
constexpr char kNoArchiveInPackage[] =
    "Could not find 7z payload in full package";
constexpr char kWriteArchiveFailed[] =
    "Could not write out 7z archive from full package";
constexpr char kCreateFolderFailed[] = "Could not create unpacking folder";
constexpr char kUnpackFailed[] = "Archive unpacking failed";
// Partner content: logged only.
constexpr char kPartnerParseFailed[] =
    "Failed parsing partner content part of JSON reply";
constexpr char kPartnerDownloadFailed[] = "Failed downloading partner content";

std::u16string GetPackageRequestUrl() {
  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  std::string base_url;
  if (command_line &&
      command_line->HasSwitch(switches::kInternalPackageServer)) {
    const std::u16string value =
        command_line->GetSwitchValueNative(switches::kInternalPackageServer);
    if (!value.empty()) return value;
    base_url = kInternalUpdateServerUrl;
  } else {
    base_url = BrandingConfig::GetUrl("autoupdate");
  }
  std::string url = base_url + kNetInstallerPath + VersionInfo::GetStream();
  if (base::IsFeatureEnabled(kX64DownloadFeature) &&
      base::win::OSInfo::GetInstance()->architecture() ==
          base::win::kX64Architecture) {
    url += kX64Path;
  }
  return base::UTF8ToUTF16(url);
}

// The reply's writer: a string of at most kMaxReplySize bytes.
class ReplyWriter : public StringResponseWriter {
 public:
  explicit ReplyWriter(std::string* target)
      : StringResponseWriter(target), target_(target) {}

  bool Write(const void* data, uint32_t size) override {
    if (target_->size() + size > kMaxReplySize) {
      LOG(ERROR) << "The update server's reply is too large";
      return false;
    }
    return StringResponseWriter::Write(data, size);
  }

 private:
  const std::string* const target_;
};

// True when the running executable is a PE image without a signature: a
// development build, whose downloads are not held to the signer.
bool IsRunningUnsigned() {
  base::FilePath exe;
  bool is_signed = true;
  return base::PathService::Get(base::FILE_EXE, &exe) &&
         SignatureVerifier::IsSigned(exe, &is_signed) && !is_signed;
}

// The package's files must never be replaced by a partner's: a plain move
// that fails when the target exists (in any letter case).
bool MoveWithoutReplacing(const base::FilePath& from,
                          const base::FilePath& to) {
  if (::MoveFileExW(base::as_wcstr(from.value()), base::as_wcstr(to.value()),
                    MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  PLOG(ERROR) << "Could not move " << from.value() << " to " << to.value();
  return false;
}

}  // namespace

PackageFetcherWorker::PackageFetcherWorker(
    const base::FilePath& download_path, const StatsNode& fetcher_node,
    base::ScopedRefPtr<PackageFetcherDelegateProxy> proxy)
    : download_path_(download_path),
      download_folder_(download_path.DirName()),
      package_folder_(GetPackageFolder(download_path)),
      archive_path_(GetArchivePath(download_path)),
      partner_temp_path_(download_folder_.AppendASCII(kPartnerTempFile)),
      proxy_(std::move(proxy)),
      fetcher_node_(fetcher_node) {}

PackageFetcherWorker::~PackageFetcherWorker() {
  LOG(INFO) << "Terminating the package fetcher";
  proxy_->Clear();
  if (downloader_ && downloader_->state() != WinInetDownloader::kFailed)
    downloader_->Stop();
  // The downloader's writer keeps its file open until it goes.
  downloader_.reset();
  WaitForWelcomeUrlWrite();
  welcome_store_ = nullptr;
  for (const base::FilePath& file :
       {download_path_, archive_path_, partner_temp_path_}) {
    if (!base::DeleteFileOrDirectory(file, false))
      LOG(WARNING) << "Could not remove " << file.value();
  }
  if (!base::DeleteFileOrDirectory(package_folder_, true))
    LOG(WARNING) << "Could not remove " << package_folder_.value();
}

void PackageFetcherWorker::RemovePackageFolder() {
  if (base::DeleteFileOrDirectory(package_folder_, true))
    LOG(INFO) << "Removed the package folder " << package_folder_.value();
  else
    LOG(WARNING) << "Could not remove " << package_folder_.value();
}

void PackageFetcherWorker::Start() {
  // Whatever an earlier run still had going ends here.
  weak_factory_.InvalidateWeakPtrs();
  downloader_ = std::make_unique<WinInetDownloader>(proxy_.get(), proxy_.get());
  WaitForWelcomeUrlWrite();
  welcome_store_ = nullptr;
  full_package_ = false;
  tracking_data_.clear();
  reply_body_.clear();
  reply_.reset();
  added_files_.clear();
  additional_file_entry_.reset();
  try_entry_.reset();

  LOG(INFO) << "Starting the package fetcher";
  fetch_entry_ = fetcher_node_.AppendDictionary(kStatsFetchesKey);
  fetch_entry_->SetInteger(kTryNumberKey, fetch_counter_);
  fetch_entry_->SetTimeNow(kStartTimeKey);
  Report(STARTED);

  // The archive too: a stale one must not be unpacked in place of a
  // payload that could not be written.
  if (!base::DeleteFileOrDirectory(download_path_, false) ||
      !base::DeleteFileOrDirectory(archive_path_, false) ||
      !base::DeleteFileOrDirectory(package_folder_, true)) {
    Fail(INITIALIZATION_FAILED, kCleanFailed);
    return;
  }
  Report(FOLDER_READY);
  ReadPayload();
}

void PackageFetcherWorker::ReadPayload() {
  base::FilePath exe;
  std::unique_ptr<PayloadReader> reader;
  bool found = false;
  if (base::PathService::Get(base::FILE_EXE, &exe)) {
    reader = std::make_unique<PayloadReader>(exe);
    found = reader->Read();
  }
  if (found && reader->IsFullPackage()) {
    fetcher_node_.SetString(kPayloadTypeKey, kPayloadFullPackage);
    LOG(INFO) << "Found full package";
    full_package_ = true;
    Report(EXTRACTING);
    // Unpacked where it lies in the running executable: writing it out
    // first would cost its size in disk writes, and its pages in memory.
    base::ThreadTaskRunnerRegistration::Get()->PostTask(
        base::Location(kStartStep, __FILE__, __LINE__,
                       base::GetProgramCounter()),
        base::Bind(&PackageFetcherWorker::UnpackArchive,
                   weak_factory_.GetWeakPtr(), exe, reader->payload_offset(),
                   reader->payload_length()));
    return;
  }
  if (found) {
    fetcher_node_.SetString(kPayloadTypeKey, kPayloadTrackingData);
    tracking_data_ = reader->GetTrackingData();
    VLOG(1) << "Tracking data: " << tracking_data_;
  } else {
    fetcher_node_.SetString(kPayloadTypeKey, kPayloadNone);
    LOG(WARNING) << "Failed reading payload";
    if (reader && reader->IsCorrupt()) {
      Fail(UNPACKING_FAILED, kCorruptedPayload);
      return;
    }
    const base::CommandLine* command_line =
        base::CommandLine::ForCurrentProcess();
    if (command_line &&
        command_line->HasSwitch(switches::kServerTrackingBlob)) {
      LOG(INFO) << "Using tracking data from command line";
      tracking_data_ =
          command_line->GetSwitchValueASCII(switches::kServerTrackingBlob);
    }
  }
  if (!tracking_data_.empty())
    proxy_->NotifyTrackingDataObtained(tracking_data_);
  base::ThreadTaskRunnerRegistration::Get()->PostTask(
      base::Location(kStartStep, __FILE__, __LINE__, base::GetProgramCounter()),
      base::Bind(&PackageFetcherWorker::FetchDownloadUrl,
                 weak_factory_.GetWeakPtr()));
}

void PackageFetcherWorker::FetchDownloadUrl() {
  LOG(INFO) << "Preparing to fetch the download URL";
  Report(FETCHING_DOWNLOAD_URL);
  downloader_->set_allowed_host_suffixes(GetUpdateServerHostSuffixes());
  const std::u16string url = GetPackageRequestUrl();
  LOG(INFO) << "Fetching the download URL";
  fetch_entry_->SetTimeNow(kFetchDownloadUrlStartTimeKey);
  if (!downloader_->Start(
          url, tracking_data_,
          base::Bind(&PackageFetcherWorker::OnDownloadUrlFetched,
                     weak_factory_.GetWeakPtr()),
          std::make_unique<ReplyWriter>(&reply_body_),
          std::make_unique<DownloadResultRecorder>(*fetch_entry_,
                                                   kFetchDownloadUrlPrefix))) {
    Fail(DOWNLOAD_FAILED, kFetchUrlFailed);
  }
}

void PackageFetcherWorker::OnDownloadUrlFetched() {
  if (downloader_->state() != WinInetDownloader::kCompleted) {
    Fail(DOWNLOAD_FAILED, kFetchUrlFailed);
    return;
  }
  Report(DOWNLOADING);
  VLOG(1) << "Parsing the fetched URL";
  reply_ = PackageServerReply::Parse(reply_body_);
  if (!reply_) {
    Fail(DOWNLOAD_FAILED, kParseReplyFailed);
    return;
  }
  const std::string download_url = base::UTF16ToUTF8(reply_->installer_url());
  fetch_entry_->SetString(kDownloadUrlKey, download_url);
  fetcher_node_.SetString(kDownloadUrlKey, download_url);
  LOG(INFO) << "Preparing to fetch the installer";

  auto writer = std::make_unique<FileResponseWriter>();
  if (!writer->Open(download_path_)) {
    Fail(DOWNLOAD_FAILED, kOpenDestinationFailed);
    return;
  }
  fetch_entry_->SetTimeNow(kDownloadStartTimeKey);
  fetcher_node_.SetTime(kInstallationStartDownloadTimeKey);
  // The package itself may come from any host.
  downloader_->set_allowed_host_suffixes({});
  if (!downloader_->Start(
          reply_->installer_url(), std::string(),
          base::Bind(&PackageFetcherWorker::OnPackageDownloaded,
                     weak_factory_.GetWeakPtr(), reply_->installer_checksum()),
          std::move(writer),
          std::make_unique<DownloadStatsRecorder>(*fetch_entry_,
                                                  kStatsDownloadChunksKey))) {
    Fail(DOWNLOAD_FAILED, kDownloadFailed);
  }
}

void PackageFetcherWorker::OnPackageDownloaded(
    const std::string& expected_checksum) {
  fetch_entry_->SetTimeNow(kDownloadEndTimeKey);
  if (downloader_->state() != WinInetDownloader::kCompleted) {
    Fail(DOWNLOAD_FAILED, kDownloadFailed);
    return;
  }
  HANDLE lock = base::OpenWithoutLinks(download_path_.value(), GENERIC_READ,
                                       FILE_SHARE_READ, OPEN_EXISTING);
  if (lock == INVALID_HANDLE_VALUE) {
    PLOG(ERROR) << "Cannot hold the downloaded installer";
    Fail(DOWNLOAD_FAILED, kDownloadFailed);
    return;
  }
  download_lock_.Set(lock);
  if (!ChecksumChecker::VerifyChecksum(download_path_, expected_checksum)) {
    Fail(DOWNLOAD_FAILED, kChecksumIncorrect);
    return;
  }
  // An unsigned installer is a development build; a stripped release one
  // could not be trusted anyway.
  if (!IsRunningUnsigned() &&
      !SignatureVerifier::VerifySigner(download_path_)) {
    Fail(DOWNLOAD_FAILED, kSignatureIncorrect);
    return;
  }
  if (!CheckVersionAndStream()) return;
  ExtractArchive();
}

AppOutputResult PackageFetcherWorker::RunDownloadedInstaller(
    const char* switch_name, std::string* output) {
  if (cancelled_.load()) return AppOutputResult::kCancelled;
  base::CommandLine command_line(download_path_);
  command_line.AppendSwitch(switch_name);
  // The installer runner makes its process handle inheritable under this
  // lock; the child must not get it.
  base::AutoLock hold(GetInstallerGlobalLock());
  return GetAppOutputWithTimeout(command_line, child_process_timeout_,
                                 kMaxChildOutput, &cancelled_, output);
}

bool PackageFetcherWorker::CheckVersionAndStream() {
  const std::string own_version = VersionInfo::GetInternalVersion();
  const std::string version =
      ChooseInstallerVersion(own_version, kAllowedVersionOverride);
  if (version != own_version)
    VLOG(1) << "Using allowed version override " << version;

  std::string output;
  AppOutputResult result =
      RunDownloadedInstaller(switches::kInternalVersion, &output);
  VLOG(1) << "Downloaded package version: " << output;
  fetch_entry_->SetString(kInternalVersionKey, output);
  if (result != AppOutputResult::kOk ||
      !IsDownloadedVersionAcceptable(output, version)) {
    Fail(DOWNLOAD_FAILED, kPackageOlder);
    return false;
  }

  result = RunDownloadedInstaller(switches::kStream, &output);
  VLOG(1) << "Downloaded package stream: " << output;
  fetch_entry_->SetString(kStreamKey, output);
  // A child that never answers is held to be older, whichever question it
  // was asked.
  if (result == AppOutputResult::kTimedOut) {
    Fail(DOWNLOAD_FAILED, kPackageOlder);
    return false;
  }
  if (result != AppOutputResult::kOk || output != VersionInfo::GetStream()) {
    Fail(DOWNLOAD_FAILED, kPackageOtherStream);
    return false;
  }
  return true;
}

void PackageFetcherWorker::ExtractArchive() {
  fetch_entry_->SetTimeNow(kExtractStartTimeKey);
  Report(EXTRACTING);
  PayloadReader reader(download_path_);
  if (!reader.Read() || !reader.IsFullPackage()) {
    Fail(DOWNLOAD_FAILED, kNoArchiveInPackage);
    return;
  }
  const bool written = reader.WritePayload(archive_path_);
  download_lock_.Close();
  if (!written) {
    Fail(UNPACKING_FAILED, kWriteArchiveFailed);
    return;
  }
  base::ThreadTaskRunnerRegistration::Get()->PostTask(
      CURRENT_LOCATION, base::Bind(&PackageFetcherWorker::UnpackArchive,
                                   weak_factory_.GetWeakPtr(), archive_path_,
                                   uint64_t{0}, FileInStream::kWholeFile));
}

void PackageFetcherWorker::UnpackArchive(const base::FilePath& archive_path,
                                         uint64_t offset, uint64_t length) {
  LOG(INFO) << "Unpacking files from archive";
  fetch_entry_->SetTimeNow(kUnpackStartTimeKey);
  fetcher_node_.SetTime(kInstallationStartUnpackingTimeKey);
  if (!base::FileUtil::CreateDirectory(package_folder_)) {
    Fail(UNPACKING_FAILED, kCreateFolderFailed);
    return;
  }
  {
    LzmaUtil lzma(proxy_.get());
    if (lzma.OpenArchive(archive_path, offset, length) != 0 ||
        lzma.UnPack(package_folder_) != 0) {
      lzma.CloseArchive();
      if (archive_path == archive_path_)
        base::DeleteFileOrDirectory(archive_path, false);
      Fail(UNPACKING_FAILED, kUnpackFailed);
      return;
    }
  }
  if (!full_package_ && !tracking_data_.empty()) {
    const base::FilePath path =
        package_folder_.AppendASCII(kServerTrackingDataFile);
    if (base::WriteBufferToFile(path, tracking_data_.data(),
                                static_cast<int>(tracking_data_.size())) !=
        static_cast<int>(tracking_data_.size())) {
      LOG(WARNING) << "Failed saving tracking data to unpacked installer.";
    }
  }
  base::ThreadTaskRunnerRegistration::Get()->PostTask(
      CURRENT_LOCATION, base::Bind(&PackageFetcherWorker::OnArchiveUnpacked,
                                   weak_factory_.GetWeakPtr()));
  if (archive_path == archive_path_)
    base::DeleteFileOrDirectory(archive_path, false);
}

void PackageFetcherWorker::OnArchiveUnpacked() {
  fetch_entry_->SetTimeNow(kUnpackEndTimeKey);
  fetcher_node_.SetTime(kInstallationUnpackCompleteTimeKey);
  std::string welcome_url;
  if (reply_ && reply_->GetWelcomeUrl(&welcome_url)) {
    VLOG(1) << "Writing welcome page url pref";
    WriteWelcomeUrl(welcome_url);
    return;
  }
  StartPartnerContent();
}

void PackageFetcherWorker::WriteWelcomeUrl(const std::string& url) {
  const base::FilePath path = package_folder_.AppendASCII(kPrefsIncludeFile);
  prefs::PrefsTaskPool* pool = prefs::PrefsTaskPool::GetInstance();
  welcome_store_ = pool->CreateJsonPrefStore(path);
  const base::StringValue value(url);
  const base::Value* stored = nullptr;
  if (welcome_store_->GetValue(kWelcomeUrlPref, &stored) &&
      stored->Equals(&value)) {
    welcome_store_ = nullptr;
    StartPartnerContent();
    return;
  }
  welcome_url_saved_ = false;
  welcome_store_->RegisterOnNextSuccessfulWriteCallback(base::Bind(
      &PackageFetcherWorker::OnWelcomeUrlSaved, weak_factory_.GetWeakPtr()));
  welcome_store_->SetValue(kWelcomeUrlPref, value.DeepCopy(), 0);
  // The write goes to the pool now; the package is ready once it has ended,
  // so that the backend never reads the folder without the file.
  welcome_store_->CommitPendingWrite();
  welcome_write_runner_ =
      prefs::JsonPrefStore::GetTaskRunnerForFile(path, pool->pool());
  if (!welcome_write_runner_->PostTaskAndReply(
          CURRENT_LOCATION, base::Bind([] {}),
          base::Bind(&PackageFetcherWorker::OnWelcomeUrlWriteDone,
                     weak_factory_.GetWeakPtr()))) {
    OnWelcomeUrlWriteDone();
  }
}

void PackageFetcherWorker::OnWelcomeUrlSaved() { welcome_url_saved_ = true; }

void PackageFetcherWorker::OnWelcomeUrlWriteDone() {
  // The write's own reply came first, on this same thread.
  if (!welcome_url_saved_)
    LOG(WARNING) << "Failed saving the welcome page url pref.";
  welcome_store_ = nullptr;
  welcome_write_runner_ = nullptr;
  StartPartnerContent();
}

void PackageFetcherWorker::WaitForWelcomeUrlWrite() {
  if (!welcome_store_ || !welcome_write_runner_) return;
  base::WaitableEvent done(base::WaitableEvent::ResetPolicy::kManual,
                           base::WaitableEvent::InitialState::kNotSignaled);
  if (welcome_write_runner_->PostTask(
          CURRENT_LOCATION, base::Bind(&base::WaitableEvent::Signal, &done)) &&
      !done.TimedWait(kWelcomeUrlWriteWait)) {
    LOG(WARNING) << "The welcome page url pref is still being written";
  }
  welcome_write_runner_ = nullptr;
}

void PackageFetcherWorker::StartPartnerContent() {
  if (!reply_ || reply_->partner_count() == 0) {
    OnPackageReady();
    return;
  }
  LOG(INFO) << "We have extra partner content";
  partner_cursor_ = 0;
  partner_attempts_ = 0;
  additional_file_entry_ = fetch_entry_->AppendDictionary(kAdditionalFilesKey);
  Report(FETCHING_PARTNER_CONTENT);
  DownloadPartnerContentFile();
}

void PackageFetcherWorker::DownloadPartnerContentFile() {
  LOG(INFO) << "Preparing to download a partner content file";
  PartnerContentEntry entry;
  bool bad_name = false;
  if (!reply_->GetPartnerEntry(partner_cursor_, &entry, &bad_name)) {
    if (bad_name) LOG(ERROR) << "Partner content file name is not plain";
    LOG(ERROR) << kPartnerParseFailed;
    OnPackageReady();
    return;
  }
  // The browser's own files (and earlier partner files) stay as they are.
  if (base::PathExists(package_folder_.Append(entry.file_name))) {
    LOG(ERROR) << "Partner content names a file of the package";
    LOG(ERROR) << kPartnerParseFailed;
    OnPackageReady();
    return;
  }
  additional_file_entry_->SetString(kDownloadUrlKey,
                                    base::UTF16ToUTF8(entry.href));
  additional_file_entry_->SetInteger(kDownloadSucceededKey, 0);
  try_entry_ = additional_file_entry_->AppendDictionary(kDownloadTriesKey);
  try_entry_->SetTimeNow(kDownloadStartTimeKey);
  try_entry_->SetInteger(kTryNumberKey, partner_attempts_);

  auto writer = std::make_unique<FileResponseWriter>();
  if (!writer->Open(partner_temp_path_)) {
    LOG(ERROR) << kOpenDestinationFailed;
    OnPackageReady();
    return;
  }
  // The host list is still the package download's empty one: partner
  // content may come from any host.
  if (!downloader_->Start(
          entry.href, std::string(),
          base::Bind(&PackageFetcherWorker::OnPartnerContentDownloaded,
                     weak_factory_.GetWeakPtr(), entry.file_name,
                     entry.checksum),
          std::move(writer),
          std::make_unique<DownloadResultRecorder>(*try_entry_, ""))) {
    LOG(ERROR) << kPartnerDownloadFailed;
    base::DeleteFileOrDirectory(partner_temp_path_, false);
    OnPackageReady();
  }
}

void PackageFetcherWorker::OnPartnerContentDownloaded(
    const std::u16string& file_name, const std::string& checksum) {
  try_entry_->SetTimeNow(kDownloadEndTimeKey);
  if (downloader_->state() != WinInetDownloader::kCompleted ||
      !ChecksumChecker::VerifyChecksum(partner_temp_path_, checksum)) {
    LOG(ERROR) << kPartnerDownloadFailed;
    base::DeleteFileOrDirectory(partner_temp_path_, false);
    const int32_t previous_attempts = partner_attempts_++;
    if (previous_attempts >= 3 || downloader_->retry_count() != 0) {
      LOG(INFO) << "Giving up on partner content download";
      Report(PACKAGE_READY);
      return;
    }
    LOG(INFO) << "Retrying partner content download";
    DownloadPartnerContentFile();
    return;
  }
  if (!MoveWithoutReplacing(partner_temp_path_,
                            package_folder_.Append(file_name))) {
    LOG(ERROR) << "Failed moving partner content into place";
    base::DeleteFileOrDirectory(partner_temp_path_, false);
    OnPackageReady();
    return;
  }
  additional_file_entry_->SetInteger(kDownloadSucceededKey, 1);
  partner_attempts_ = 0;
  added_files_.push_back(base::UTF16ToUTF8(file_name));
  ++partner_cursor_;
  if (partner_cursor_ >= reply_->partner_count()) {
    AppendAddedFilesToList();
    OnPackageReady();
    return;
  }
  additional_file_entry_ = fetch_entry_->AppendDictionary(kAdditionalFilesKey);
  DownloadPartnerContentFile();
}

void PackageFetcherWorker::AppendAddedFilesToList() {
  const base::FilePath list = package_folder_.AppendASCII(kFilesListFile);
  std::string text = base::JoinString(added_files_, "\r\n") + "\r\n";
  // A list whose last line has no line break would swallow the first name.
  std::string existing;
  if (base::FileUtil::ReadFileToString(list, &existing) && !existing.empty() &&
      existing.back() != '\n' && existing.back() != '\r') {
    text.insert(0, "\r\n");
  }
  if (!base::AppendToFile(list, text.data(), static_cast<int>(text.size())))
    LOG(ERROR) << "Failed adding partner content to " << kFilesListFile;
}

void PackageFetcherWorker::OnPackageReady() {
  fetch_entry_->SetTimeNow(kPackageReadyTimeKey);
  LOG(INFO) << "Package ready.";
  fetcher_node_.SetTime(kPackageReadyTimeKey);
  fetch_entry_->SetString(kResultKey,
                          GetFetcherStatusResultText(PACKAGE_READY));
  Report(PACKAGE_READY);
}

void PackageFetcherWorker::SetStatus(FetcherStatus status) {
  ++fetch_counter_;
  fetcher_node_.SetInteger(kFetcherRestartsKey, fetch_counter_);
  fetch_entry_->SetString(kResultKey, GetFetcherStatusResultText(status));
  Report(status);
}

void PackageFetcherWorker::Fail(FetcherStatus status, const char* reason) {
  LOG(ERROR) << reason;
  // A later run downloads to the same name.
  download_lock_.Close();
  fetch_entry_->SetString(kStatsFailureReasonKey, reason);
  SetStatus(status);
}

void PackageFetcherWorker::Report(FetcherStatus status) {
  proxy_->NotifyStatusChanged(status);
}

}  // namespace installer
