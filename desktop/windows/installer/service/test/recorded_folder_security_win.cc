#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"

namespace installer {
namespace test {

namespace {

bool SameFolder(const base::FilePath& a, const base::FilePath& b) {
  return base::FilePath::CompareIgnoreCase(
             a.StripTrailingSeparators().value(),
             b.StripTrailingSeparators().value()) == 0;
}

}  // namespace

RecordedFolderSecurity::RecordedFolderSecurity(const base::FilePath& record)
    : record_(record) {}

RecordedFolderSecurity::~RecordedFolderSecurity() = default;

// static
std::vector<std::u16string> RecordedFolderSecurity::History(
    const base::FilePath& record, const base::FilePath& folder) {
  std::string text;
  base::FileUtil::ReadFileToString(record, &text);
  std::vector<std::u16string> history;
  for (const std::string& line :
       base::SplitString(text, "\n", base::SplitWhitespace::kKeep,
                         base::SplitFilter::kNonEmpty)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    if (SameFolder(base::FilePath(base::UTF8ToUTF16(line.substr(0, tab))),
                   folder)) {
      history.push_back(base::UTF8ToUTF16(line.substr(tab + 1)));
    }
  }
  return history;
}

std::u16string RecordedFolderSecurity::Read(const base::FilePath& folder) {
  if (!base::DirectoryExists(folder)) return std::u16string();
  const std::vector<std::u16string> history = History(record_, folder);
  return history.empty() ? internal::GetRealFolderSecurity()->Read(folder)
                         : history.back();
}

bool RecordedFolderSecurity::Write(const base::FilePath& folder,
                                   const std::u16string& descriptor) {
  if (fail_writes_ || !base::DirectoryExists(folder)) return false;
  return Append(folder, descriptor);
}

bool RecordedFolderSecurity::Create(const base::FilePath& folder,
                                    const std::u16string& descriptor) {
  if (!CreateDirectoryW(base::as_wcstr(folder.value()), nullptr)) return false;
  return Append(folder, descriptor);
}

bool RecordedFolderSecurity::Append(const base::FilePath& folder,
                                    const std::u16string& descriptor) {
  // One write per line: the processes of a test append to one record.
  const std::string line = base::UTF16ToUTF8(
      folder.StripTrailingSeparators().value() + u"\t" + descriptor + u"\n");
  base::win::ScopedHandle file(
      CreateFileW(base::as_wcstr(record_.value()), FILE_APPEND_DATA,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file.IsValid() &&
         WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()),
                   &written, nullptr) &&
         written == line.size();
}

}  // namespace test
}  // namespace installer
