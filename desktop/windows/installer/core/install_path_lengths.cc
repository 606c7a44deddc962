#include "desktop/windows/installer/core/install_path_lengths.h"

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/service/install_log.h"

namespace installer {

namespace {

// ".<seconds since 1970>.old", ten digits until the year 2286.
constexpr size_t kAsideSuffixLength = 15;
// "_NN": the versioned subfolder when the plain name is taken.
constexpr size_t kSubfolderSuffixLength = 3;
// A folder leaves room for a short (8.3) file name in it, as
// CreateDirectoryW demands.
constexpr size_t kMaxFolderLength = kMaxInstallPathLength - 12;
constexpr size_t kSecondsLength = 10;

template <size_t N>
constexpr size_t Length(const char16_t (&text)[N]) {
  return N - 1;
}

std::string TooLong(const std::string& what, size_t length, size_t limit) {
  return "the install folder is too long: " + what + " would be " +
         std::to_string(length) + " characters long, more than " +
         std::to_string(limit);
}

}  // namespace

std::string FindInstallFolderLengthProblem(const std::u16string& folder,
                                           const std::u16string& version) {
  const size_t mailslot = Length(kMailslotPathPrefix) +
                          Length(kInstallerMailslotNamePrefix) + folder.size();
  if (mailslot > kMaxInstallPathLength)
    return TooLong("the installer's mailslot name", mailslot,
                   kMaxInstallPathLength);
  const size_t subfolder =
      folder.size() + 1 + version.size() + kSubfolderSuffixLength;
  if (subfolder > kMaxFolderLength)
    return TooLong("the version's folder", subfolder, kMaxFolderLength);
  const size_t old_status = folder.size() + 1 + Length(kOldStatusFolderName) +
                            1 + Length(kInstallLogFileName) + 1 +
                            kSecondsLength + kAsideSuffixLength;
  if (old_status > kMaxInstallPathLength) {
    return TooLong("a kept status file", old_status, kMaxInstallPathLength);
  }
  return std::string();
}

std::string FindPackagePathLengthProblem(
    const std::u16string& folder, const std::u16string& version,
    const std::vector<std::string>& files,
    const std::vector<std::string>& root_files) {
  const size_t versioned =
      folder.size() + 1 + version.size() + kSubfolderSuffixLength + 1;
  const size_t root = folder.size() + 1;
  const std::pair<const std::vector<std::string>*, size_t> lists[] = {
      {&files, versioned}, {&root_files, root}};
  for (const auto& [list, base] : lists) {
    for (const std::string& line : *list) {
      const size_t length =
          base + base::UTF8ToUTF16(line).size() + kAsideSuffixLength;
      if (length > kMaxInstallPathLength) {
        return TooLong("the package's file " + line + " (moved aside)", length,
                       kMaxInstallPathLength);
      }
    }
  }
  return std::string();
}

}  // namespace installer
