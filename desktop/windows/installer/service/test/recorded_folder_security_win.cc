#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"

namespace installer {
namespace test {

namespace {

// The third field of the lines of the levels above a test's folder, and of
// folders made.
constexpr char kAboveTag[] = "above";
constexpr char kCreatedTag[] = "created";

bool SameFolder(const base::FilePath& a, const base::FilePath& b) {
  return base::FilePath::CompareIgnoreCase(
             a.StripTrailingSeparators().value(),
             b.StripTrailingSeparators().value()) == 0;
}

// The fields of each line recorded for |folder|.
std::vector<std::vector<std::string>> Lines(const base::FilePath& record,
                                            const base::FilePath& folder) {
  std::string text;
  base::FileUtil::ReadFileToString(record, &text);
  std::vector<std::vector<std::string>> lines;
  for (const std::string& line :
       base::SplitString(text, "\n", base::SplitWhitespace::kKeep,
                         base::SplitFilter::kNonEmpty)) {
    std::vector<std::string> fields = base::SplitString(
        line, "\t", base::SplitWhitespace::kKeep, base::SplitFilter::kAll);
    if (fields.size() >= 2 &&
        SameFolder(base::FilePath(base::UTF8ToUTF16(fields[0])), folder)) {
      lines.push_back(std::move(fields));
    }
  }
  return lines;
}

}  // namespace

RecordedFolderSecurity::RecordedFolderSecurity(const base::FilePath& record)
    : record_(record) {}

RecordedFolderSecurity::~RecordedFolderSecurity() = default;

// static
std::vector<std::u16string> RecordedFolderSecurity::History(
    const base::FilePath& record, const base::FilePath& folder) {
  std::vector<std::u16string> history;
  for (const std::vector<std::string>& fields : Lines(record, folder))
    history.push_back(base::UTF8ToUTF16(fields[1]));
  return history;
}

// static
bool RecordedFolderSecurity::MadeWithFirst(const base::FilePath& record,
                                           const base::FilePath& folder) {
  const std::vector<std::vector<std::string>> lines = Lines(record, folder);
  return !lines.empty() && lines[0].size() == 3 && lines[0][2] == kCreatedTag;
}

std::u16string RecordedFolderSecurity::Read(const base::FilePath& folder) {
  // As the real one: nothing is read through a link.
  if (!base::IsDirectoryNotLink(folder)) return std::u16string();
  const std::vector<std::u16string> history = History(record_, folder);
  if (!history.empty()) return history.back();
  // Made by an administrator below a folder the test or the installer gave
  // a list: the entries passed on from there (those recorded here all pass
  // on). The levels above a test's folder pass nothing on.
  base::FilePath level = folder.StripTrailingSeparators();
  for (base::FilePath parent = level.DirName(); parent != level;
       level = parent, parent = parent.DirName()) {
    const std::vector<std::vector<std::string>> lines = Lines(record_, parent);
    if (lines.empty()) continue;
    const std::u16string above = base::UTF8ToUTF16(lines.back()[1]);
    const size_t list = above.find(u"D:");
    if (list == std::u16string::npos ||
        (lines.back().size() == 3 && lines.back()[2] == kAboveTag)) {
      break;
    }
    return u"O:BA" + above.substr(list);
  }
  return internal::GetRealFolderSecurity()->Read(folder);
}

bool RecordedFolderSecurity::Write(const base::FilePath& folder,
                                   const std::u16string& descriptor) {
  if (!base::DirectoryExists(folder)) return false;
  return Append(folder, descriptor, "");
}

bool RecordedFolderSecurity::Create(const base::FilePath& folder,
                                    const std::u16string& descriptor) {
  if (!base::CreateFolderWithoutLinks(folder.value(), nullptr)) return false;
  return Append(folder, descriptor, kCreatedTag);
}

bool RecordedFolderSecurity::ProtectLevelsAbove(const base::FilePath& folder) {
  base::FilePath level = folder.StripTrailingSeparators();
  for (base::FilePath parent = level.DirName(); parent != level;
       level = parent, parent = parent.DirName()) {
    if (!Append(parent, kProtectedFolderSecurity, kAboveTag)) return false;
  }
  return true;
}

bool RecordedFolderSecurity::Append(const base::FilePath& folder,
                                    const std::u16string& descriptor,
                                    const char* tag) {
  // One write per line: the processes of a test append to one record.
  const std::string line =
      base::UTF16ToUTF8(folder.StripTrailingSeparators().value() + u"\t" +
                        descriptor) +
      (*tag ? std::string("\t") + tag : std::string()) + "\n";
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
