#include <string.h>

#include "base/files/file_attributes_win.h"
#include "base/files/file_enumerator.h"
#include "base/files/system_path_win.h"
#include "base/strings/string_util_win.h"
#include "base/win/windows_version.h"

namespace base {

FileEnumerator::FileEnumerator(const FilePath& root_path, bool recursive,
                               int file_type)
    : FileEnumerator(root_path, recursive, file_type, std::u16string()) {}

FileEnumerator::FileEnumerator(const FilePath& root_path, bool recursive,
                               int file_type, const std::u16string& pattern)
    : recursive_(recursive), file_type_(file_type), pattern_(pattern) {
  memset(&find_data_, 0, sizeof(find_data_));
  pending_paths_.push_back(root_path);
}

FileEnumerator::~FileEnumerator() {
  if (find_handle_ != INVALID_HANDLE_VALUE) ::FindClose(find_handle_);
}

FilePath FileEnumerator::Next() {
  while (true) {
    if (!has_find_data_) {
      if (pending_paths_.empty()) return FilePath();
      root_path_ = pending_paths_.back();
      pending_paths_.pop_back();
      const FilePath search =
          root_path_.Append(pattern_.empty() ? u"*" : pattern_);
      if (win::GetWindowsVersion() < win::kVersionWin7) {
        find_handle_ = ::FindFirstFileW(SystemPathArg(search), &find_data_);
      } else {
        // The basic information level skips the short names, and large
        // fetches cut round trips on big folders; both need Windows 7.
        find_handle_ = ::FindFirstFileExW(
            SystemPathArg(search), FindExInfoBasic, &find_data_,
            FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
      }
      has_find_data_ = true;
      // Even an empty folder holds ".".
      if (find_handle_ == INVALID_HANDLE_VALUE) failed_ = true;
    } else if (!::FindNextFileW(find_handle_, &find_data_)) {
      if (::GetLastError() != ERROR_NO_MORE_FILES) failed_ = true;
      ::FindClose(find_handle_);
      find_handle_ = INVALID_HANDLE_VALUE;
    }

    if (find_handle_ == INVALID_HANDLE_VALUE) {
      // This folder is finished (or could not be searched). Only the first
      // folder is filtered by the pattern.
      has_find_data_ = false;
      pattern_.clear();
      continue;
    }

    if (ShouldSkip(find_data_)) continue;

    const FilePath path = root_path_.Append(as_u16cstr(find_data_.cFileName));
    if (find_data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (recursive_ && !internal::IsLink(internal::GetWalkAttributes(path)))
        pending_paths_.push_back(path);
      if (file_type_ & DIRECTORIES) return path;
    } else if (file_type_ & FILES) {
      return path;
    }
  }
}

FileEnumerator::FileInfo FileEnumerator::GetInfo() const {
  if (!has_find_data_) {
    FileInfo empty;
    memset(&empty, 0, sizeof(empty));
    return empty;
  }
  return find_data_;
}

bool FileEnumerator::ShouldSkip(const FileInfo& info) const {
  const std::u16string name = as_u16cstr(info.cFileName);
  if (name == u".") return true;
  return name == u".." && !(file_type_ & INCLUDE_DOT_DOT);
}

}  // namespace base
