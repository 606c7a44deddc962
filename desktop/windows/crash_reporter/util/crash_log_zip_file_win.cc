#include "desktop/windows/crash_reporter/util/crash_log_zip_file_win.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/util/zip_crash_log.h"

namespace crash_reporter {

namespace {

constexpr char16_t kZipExtension[] = u".zip";
constexpr DWORD kMaxWrite = 1 << 20;

bool WriteWhole(HANDLE file, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kMaxWrite));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

CrashLogZipFile::CrashLogZipFile() = default;

CrashLogZipFile::~CrashLogZipFile() { Delete(); }

// static
base::FilePath CrashLogZipFile::NewPathFor(const base::FilePath& log_path) {
  const base::FilePath zip = log_path.ReplaceExtension(kZipExtension);
  if (zip.empty()) return zip;
  // Unguessable, so that nobody can plant a file at the name beforehand.
  uint8_t random[8];
  base::RandBytes(random, sizeof(random));
  return zip.InsertBeforeExtension(
      u"-" + base::UTF8ToUTF16(base::HexEncode(random, sizeof(random))));
}

bool CrashLogZipFile::Create(const base::FilePath& log_path) {
  const base::FilePath zip_path = NewPathFor(log_path);
  if (zip_path.empty()) {
    LOG(ERROR) << "No zip name for the crash log " << log_path;
    return false;
  }
  return CreateAt(log_path, zip_path);
}

bool CrashLogZipFile::CreateAt(const base::FilePath& log_path,
                               const base::FilePath& zip_path) {
  CHECK(!file_.IsValid());
  std::string archive;
  if (!ZipCrashLog(log_path, &archive)) return false;
  // Only ever a new file: one planted at the name, or a link, is refused
  // and stays as it was. Made without access to its contents (such a handle
  // counts for no sharing), then opened again to write and delete it,
  // sharing reading alone: nobody else writes, renames or deletes it while
  // the upload reads it by its name.
  base::win::ScopedHandle made(base::OpenWithoutLinks(
      zip_path.value(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, CREATE_NEW));
  if (!made.IsValid()) {
    PLOG(ERROR) << "Could not create the zip " << zip_path;
    return false;
  }
  const HANDLE created =
      ::ReOpenFile(made.Get(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, 0);
  if (created == INVALID_HANDLE_VALUE) {
    PLOG(ERROR) << "Could not open the zip " << zip_path;
    base::win::ScopedHandle remover(::ReOpenFile(
        made.Get(), DELETE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
    if (remover.IsValid()) base::DeleteOpened(remover.Get());
    return false;
  }
  made.Close();
  file_.Set(created);
  path_ = zip_path;
  if (!WriteWhole(file_.Get(), archive)) {
    PLOG(ERROR) << "Could not write the zip " << zip_path;
    Delete();
    path_ = base::FilePath();
    return false;
  }
  return true;
}

void CrashLogZipFile::Delete() {
  if (!file_.IsValid()) return;
  // Through the handle, not the name, which may lead elsewhere by now.
  if (!base::DeleteOpened(file_.Get()))
    PLOG(ERROR) << "Could not delete the zip " << path_;
  file_.Close();
}

}  // namespace crash_reporter
