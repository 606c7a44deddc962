#include "desktop/windows/installer/test/test_host_seams_win.h"

#include <windows.h>

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/files/file_attributes_win.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "base/win/object_watcher.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/installer_rights_win.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/core/protected_package_win.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/silent_installer_controller.h"

namespace installer {
namespace test {

namespace {

constexpr char kGrantLine[] = "grant ";
constexpr char kRestoreLine[] = "restore";

// The test reads the record while it waits for a line: a write that meets
// its read is tried again.
void AppendLine(const base::FilePath& record, const std::string& line) {
  const std::string text = line + "\n";
  const int size = static_cast<int>(text.size());
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (base::PathExists(record)
            ? base::AppendToFile(record, text.data(), size)
            : base::WriteBufferToFile(record, text.data(), size) == size) {
      return;
    }
    Sleep(25);
  }
}

// Whether the record's last line is a grant.
bool IsGranted(const base::FilePath& record) {
  const std::vector<std::string> lines = ReadGrantRecord(record);
  return !lines.empty() && base::StartsWith(lines.back(), kGrantLine);
}

std::unique_ptr<base::DictionaryValue> ReadJsonFile(
    const base::FilePath& path) {
  std::string text;
  if (!base::FileUtil::ReadFileToString(path, &text)) return nullptr;
  std::unique_ptr<base::Value> value = base::JSONReader::Read(text);
  base::DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary)) return nullptr;
  value.release();
  return std::unique_ptr<base::DictionaryValue>(dictionary);
}

// --- The package fetcher.

struct PackageSeam {
  base::FilePath source;
  std::u16string ready_event;
  std::string tracking_data;
};
PackageSeam* g_package = nullptr;

base::Time::Exploded Now() {
  base::Time::Exploded now = {};
  base::Time::Now().LocalExplode(&now);
  return now;
}

// Puts the prepared package where the download would unpack, announces a
// download (2), and reports the package ready (6) once the test sets the
// event; 9 when the package cannot be put in place.
class FakePackageFetcher : public PackageFetcherHandle,
                           public base::win::ObjectWatcher::Delegate {
 public:
  FakePackageFetcher(const base::FilePath& download_folder,
                     PackageFetcher::Delegate* delegate)
      : download_path_(download_folder.Append(MakeDownloadFileName(Now()))),
        delegate_(delegate) {}

  ~FakePackageFetcher() override {
    watcher_.StopWatching();
    base::DeleteFileOrDirectory(GetPackageFolder(download_path_), true);
  }

  void Start() override {
    const bool copied = base::CopyDirectory(g_package->source,
                                            GetPackageFolder(download_path_));
    Post(base::Bind(&FakePackageFetcher::Announce, weak_factory_.GetWeakPtr(),
                    copied));
  }
  void RemovePackage() override {
    base::DeleteFileOrDirectory(GetPackageFolder(download_path_), true);
  }
  base::FilePath download_path() const override { return download_path_; }

  void OnObjectSignaled(HANDLE object) override {
    delegate_->NotifyStatusChanged(PACKAGE_READY);
  }

 private:
  void Post(const base::Closure& task) {
    base::MessageLoop::current()->task_runner()->PostTask(CURRENT_LOCATION,
                                                          task);
  }

  void Announce(bool copied) {
    if (!copied) {
      delegate_->NotifyStatusChanged(UNPACKING_FAILED);
      return;
    }
    if (!g_package->tracking_data.empty())
      delegate_->NotifyTrackingDataObtained(g_package->tracking_data);
    delegate_->NotifyStatusChanged(FETCHING_DOWNLOAD_URL);
    ready_.Set(
        OpenEventW(SYNCHRONIZE, FALSE, base::as_wcstr(g_package->ready_event)));
    if (!ready_.IsValid() || !watcher_.StartWatchingOnce(ready_.Get(), this))
      delegate_->NotifyStatusChanged(DOWNLOAD_FAILED);
  }

  const base::FilePath download_path_;
  PackageFetcher::Delegate* const delegate_;
  base::win::ScopedHandle ready_;
  base::win::ObjectWatcher watcher_;
  base::WeakPtrFactory<FakePackageFetcher> weak_factory_{this};
};

std::unique_ptr<PackageFetcherHandle> CreateFakePackageFetcher(
    const base::FilePath& download_folder, StatsNode* node,
    UICallbackRunner* ui_runner, PackageFetcher::Delegate* delegate) {
  return std::make_unique<FakePackageFetcher>(download_folder, delegate);
}

// --- The permission utility's grants.

class RecordingFolderAccessEditor : public FolderAccessEditor {
 public:
  explicit RecordingFolderAccessEditor(const base::FilePath& record)
      : record_(record) {}

  bool GrantFullAccess(const base::FilePath& folder, const std::u16string& user,
                       std::unique_ptr<SavedSecurity>* previous) override {
    AppendLine(record_, kGrantLine + base::UTF16ToUTF8(user));
    *previous = std::make_unique<SavedSecurity>(folder.value(), SE_FILE_OBJECT,
                                                nullptr, nullptr);
    return true;
  }
  bool Restore(std::unique_ptr<SavedSecurity>* previous) override {
    AppendLine(record_, kRestoreLine);
    previous->reset();
    return true;
  }

 private:
  const base::FilePath record_;
};

// --- The rights of a user without elevation.

struct RightsSeam {
  bool administrator = false;
  bool linked_administrator = false;
  bool uac = true;
  bool refuse_runas = false;
  base::FilePath folder_grants;
};
RightsSeam* g_rights = nullptr;

// The process's environment without |name|, as a block for CreateProcessW.
std::u16string EnvironmentWithout(const wchar_t* name) {
  const std::u16string prefix =
      base::ToUpperASCII(std::u16string(base::as_u16cstr(name))) + u"=";
  std::u16string block;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
    const std::u16string text(base::as_u16cstr(entry));
    if (base::StartsWith16(base::ToUpperASCII(text), prefix)) continue;
    block += text;
    block.push_back(u'\0');
  }
  FreeEnvironmentStringsW(strings);
  block.push_back(u'\0');
  return block;
}

bool StatusFolderAccess(const std::u16string& folder, uint32_t access) {
  return IsGranted(g_rights->folder_grants);
}

class UnelevatedRights : public InstallerRights {
 public:
  bool IsUserAdministrator(bool consider_linked_token) override {
    return consider_linked_token ? g_rights->linked_administrator
                                 : g_rights->administrator;
  }
  // An administrator here is one without user account control.
  bool IsElevated() override { return g_rights->administrator; }
  bool IsUacEnabled() override { return g_rights->uac; }
  bool CanAccessFolder(const base::FilePath& folder) override {
    if (g_rights->folder_grants.empty())
      return internal::GetRealInstallerRights()->CanAccessFolder(folder);
    return IsGranted(g_rights->folder_grants);
  }
  bool GrantFolderAccess(const base::FilePath& folder, uint32_t access,
                         uint32_t option,
                         std::unique_ptr<SavedSecurity>* saved) override {
    if (!g_rights->folder_grants.empty()) return false;
    return internal::GetRealInstallerRights()->GrantFolderAccess(folder, access,
                                                                 option, saved);
  }
  base::Process LaunchElevated(const base::FilePath& program,
                               const std::u16string& parameters) override {
    if (g_rights->refuse_runas) {
      SetLastError(ERROR_CANCELLED);
      return base::Process();
    }
    std::u16string command_line = u"\"" + program.value() + u"\" " + parameters;
    std::u16string environment = EnvironmentWithout(kUnelevatedRightsVariable);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(base::as_wcstr(program.value()),
                        base::as_writable_wcstr(command_line), nullptr, nullptr,
                        FALSE, CREATE_UNICODE_ENVIRONMENT, environment.data(),
                        nullptr, &startup, &info)) {
      return base::Process();
    }
    CloseHandle(info.hThread);
    return base::Process(info.hProcess);
  }
};

// The start of the names that read as files the system keeps compressed.
std::u16string* g_compressed = nullptr;

bool IsCompressedName(const base::FilePath& path) {
  return base::StartsWith16(path.BaseName().value(), *g_compressed,
                            base::CompareCase::INSENSITIVE_ASCII);
}

uint32_t PresentCompressed(const base::FilePath& path, uint32_t attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) || !IsCompressedName(path)) {
    return attributes;
  }
  return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
}

uint32_t CompressedTag(const base::FilePath& path, uint32_t tag) {
  // IO_REPARSE_TAG_WOF, the tag of "compact /exe".
  return IsCompressedName(path) ? 0x80000017u : tag;
}

}  // namespace

std::vector<std::string> ReadGrantRecord(const base::FilePath& record) {
  std::string text;
  base::FileUtil::ReadFileToString(record, &text);
  return base::SplitString(text, "\n", base::SplitWhitespace::kTrim,
                           base::SplitFilter::kNonEmpty);
}

bool InstallHostSeams(const base::DictionaryValue& seams) {
  std::u16string log_root;
  if (seams.GetString("log_root", &log_root)) {
    const base::FilePath folder = base::FilePath(log_root).Append(
        base::UTF8ToUTF16(std::to_string(GetCurrentProcessId())));
    if (!base::FileUtil::CreateDirectory(folder)) return false;
    SetEnvironmentVariableW(L"TEMP", base::as_wcstr(folder.value()));
    SetEnvironmentVariableW(L"TMP", base::as_wcstr(folder.value()));
  }
  const base::DictionaryValue* package = nullptr;
  if (seams.GetDictionary("package", &package)) {
    // Live as long as the process, as the engine's objects that use them.
    g_package = new PackageSeam;
    std::u16string source;
    if (!package->GetString("source", &source) ||
        !package->GetString("ready_event", &g_package->ready_event)) {
      return false;
    }
    g_package->source = base::FilePath(source);
    package->GetString("tracking_data", &g_package->tracking_data);
    internal::SetSilentPackageFetcherFactoryForTesting(
        &CreateFakePackageFetcher);
  }
  std::u16string grants;
  if (seams.GetString("folder_grants", &grants)) {
    auto* options = new FolderPermissionOptions;
    options->undo_delay = base::TimeDelta();
    options->editor = new RecordingFolderAccessEditor(base::FilePath(grants));
    internal::SetFolderPermissionOptionsForTesting(options);
  }
  std::u16string security_record;
  if (seams.GetString("folder_security", &security_record)) {
    internal::SetFolderSecurityForTesting(
        new RecordedFolderSecurity(base::FilePath(security_record)));
  }
  std::u16string protected_root;
  if (seams.GetString("protected_root", &protected_root))
    internal::SetProtectedFolderRootForTesting(base::FilePath(protected_root));
  std::u16string compressed;
  if (seams.GetString("compressed", &compressed) && !compressed.empty()) {
    g_compressed = new std::u16string(compressed);
    base::internal::SetWalkAttributesHookForTesting(&PresentCompressed);
    base::internal::SetReparseTagHookForTesting(&CompressedTag);
  }
  bool engine_signed = false;
  if (seams.GetBoolean("engine_signed", &engine_signed))
    internal::SetEngineSignedForTesting(engine_signed ? 1 : 0);
  return true;
}

bool InstallUnelevatedRights() {
  wchar_t path[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(kUnelevatedRightsVariable, path, MAX_PATH))
    return true;
  std::unique_ptr<base::DictionaryValue> rights =
      ReadJsonFile(base::FilePath(base::as_u16cstr(path)));
  if (!rights) return false;
  g_rights = new RightsSeam;
  rights->GetBoolean("administrator", &g_rights->administrator);
  rights->GetBoolean("linked_administrator", &g_rights->linked_administrator);
  rights->GetBoolean("uac", &g_rights->uac);
  std::string runas;
  rights->GetString("runas", &runas);
  g_rights->refuse_runas = runas == "refuse";
  std::u16string grants;
  if (rights->GetString("folder_grants", &grants)) {
    g_rights->folder_grants = base::FilePath(grants);
    internal::SetFolderAccessCheckForTesting(&StatusFolderAccess);
  }
  static UnelevatedRights unelevated;
  internal::SetInstallerRightsForTesting(&unelevated);
  return true;
}

}  // namespace test
}  // namespace installer
