#include "desktop/windows/installer/service/transactions/file_security.h"

#include <windows.h>
// After windows.h.
#include <aclapi.h>

#include <memory>
#include <string>
#include <utility>

#include "base/files/file_util.h"
#include "base/files/folder_walk_win.h"
#include "base/files/open_without_links_win.h"
#include "base/files/system_path_win.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"

namespace installer {

namespace {

constexpr SECURITY_INFORMATION kOwnerGroupDacl = OWNER_SECURITY_INFORMATION |
                                                 GROUP_SECURITY_INFORMATION |
                                                 DACL_SECURITY_INFORMATION;

FileSecurity* g_for_testing = nullptr;

// |path| opened to read or write its security: a plain file or folder
// reached without a link anywhere on the way, whose list no other name
// shares. Null, with the last error set, otherwise.
base::win::ScopedHandle OpenForSecurity(const base::FilePath& path,
                                        DWORD access) {
  const HANDLE opened = base::OpenWithoutLinks(
      path.value(), access,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
  return base::win::ScopedHandle(opened == INVALID_HANDLE_VALUE ? nullptr
                                                                : opened);
}

// |kind| (TokenOwner or TokenPrimaryGroup) of this process's token into
// |buffer|; its SID, or null.
PSID GetTokenSid(TOKEN_INFORMATION_CLASS kind, std::vector<uint8_t>* buffer) {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return nullptr;
  base::win::ScopedHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.Get(), kind, nullptr, 0, &size);
  if (size == 0) return nullptr;
  buffer->resize(size);
  if (!GetTokenInformation(token.Get(), kind, buffer->data(), size, &size))
    return nullptr;
  // TOKEN_OWNER and TOKEN_PRIMARY_GROUP both begin with the SID pointer.
  return *reinterpret_cast<PSID*>(buffer->data());
}

// The process token's default owner and primary group, read once: a move
// for every user asks for them per file, and this process never changes
// them.
struct TokenDefaults {
  TokenDefaults()
      : owner(GetTokenSid(TokenOwner, &owner_buffer)),
        group(GetTokenSid(TokenPrimaryGroup, &group_buffer)) {}
  std::vector<uint8_t> owner_buffer;
  std::vector<uint8_t> group_buffer;
  PSID owner;
  PSID group;
};

bool IsComplete(const TokenDefaults& defaults) {
  return defaults.owner && defaults.group;
}

// |file|'s owner, group and access list, self-relative.
bool ReadSecurity(HANDLE file, FileSecurity::Saved* saved) {
  // Most fit a first guess: one request, where asking the size first
  // makes two for every file moved.
  saved->resize(512);
  DWORD size = 0;
  if (GetKernelObjectSecurity(file, kOwnerGroupDacl, saved->data(),
                              static_cast<DWORD>(saved->size()), &size)) {
    saved->resize(GetSecurityDescriptorLength(saved->data()));
    return true;
  }
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    saved->clear();
    return false;
  }
  saved->resize(size);
  if (!GetKernelObjectSecurity(file, kOwnerGroupDacl, saved->data(), size,
                               &size)) {
    saved->clear();
    return false;
  }
  return true;
}

// Gives the object |object| opened what an object created in its folder by
// this process would have: the process's default owner and primary group,
// and only the entries its folder passes on.
bool GiveFolderSecurity(HANDLE object) {
  static const TokenDefaults* const read_once = new TokenDefaults();
  // A first read that failed is not kept.
  std::unique_ptr<TokenDefaults> read_again;
  if (!IsComplete(*read_once)) read_again = std::make_unique<TokenDefaults>();
  const TokenDefaults& defaults = read_again ? *read_again : *read_once;
  if (!IsComplete(defaults)) return false;
  // No entries of its own: those its folder passes on.
  ACL empty;
  if (!InitializeAcl(&empty, sizeof(empty), ACL_REVISION)) return false;
  const DWORD error =
      SetSecurityInfo(object, SE_FILE_OBJECT,
                      kOwnerGroupDacl | UNPROTECTED_DACL_SECURITY_INFORMATION,
                      defaults.owner, defaults.group, &empty, nullptr);
  if (error != ERROR_SUCCESS) {
    LOG(ERROR) << "Cannot give " << base::GetFinalPathOfHandle(object)
               << " the security of its folder: " << error;
  }
  return error == ERROR_SUCCESS;
}

// Writes |saved| back to |object|, including whether its access list takes
// entries from its folder.
bool RestoreSecurity(HANDLE object, const FileSecurity::Saved& saved) {
  if (saved.empty()) return false;
  PSECURITY_DESCRIPTOR descriptor = const_cast<uint8_t*>(saved.data());
  PSID owner = nullptr;
  PSID group = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorGroup(descriptor, &group, &defaulted) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) ||
      !GetSecurityDescriptorControl(descriptor, &control, &revision)) {
    return false;
  }
  const SECURITY_INFORMATION inheritance =
      (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                    : UNPROTECTED_DACL_SECURITY_INFORMATION;
  return SetSecurityInfo(object, SE_FILE_OBJECT, kOwnerGroupDacl | inheritance,
                         owner, group, present ? dacl : nullptr,
                         nullptr) == ERROR_SUCCESS;
}

class RealFileSecurity : public FileSecurity {
 public:
  // One handle reads, moves and writes a plain file: under Wine each
  // opening by name costs about as much as the call it serves.
  bool MoveTakingFolderSecurity(const base::FilePath& source,
                                const base::FilePath& destination, Saved* saved,
                                FolderSecurities* known) override {
    // Never a link, nor anything reached through one, nor a file whose
    // other names would take the new list too.
    base::win::ScopedHandle file = OpenForSecurity(
        source, DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER);
    if (!file.IsValid() && ::GetLastError() == ERROR_CANT_ACCESS_FILE) {
      LOG(ERROR) << "Refusing to move " << source
                 << ": a link on its path leads elsewhere";
      return false;
    }
    // Not GetFileInformationByHandle: its volume serial number costs more
    // than all the rest.
    FILE_ATTRIBUTE_TAG_INFO information = {};
    // The destination's folder is held while the name goes there, so that
    // it cannot be swapped for a link meanwhile.
    const base::win::ScopedHandle destination_folder(base::OpenWithoutLinks(
        destination.DirName().value(), FILE_LIST_DIRECTORY,
        FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
    // A folder passes its new security on to what it holds: it takes the
    // road below, as does whatever this one cannot move.
    if (!file.IsValid() ||
        !GetFileInformationByHandleEx(file.Get(), FileAttributeTagInfo,
                                      &information, sizeof(information)) ||
        (information.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !ReadSecurity(file.Get(), saved) || !destination_folder.IsValid() ||
        !base::RenameOpened(file.Get(), destination.value(), true)) {
      file.Close();
      return FileSecurity::MoveTakingFolderSecurity(source, destination, saved,
                                                    known);
    }
    if (TakeMovedFolderSecurity(file.Get(), destination, known)) return true;
    base::RenameOpened(file.Get(), source.value(), false);
    RestoreSecurity(file.Get(), *saved);
    return false;
  }

  HeldMove MoveIntoHeldFolder(base::FolderWalk* source_walk,
                              const base::FilePath& source, HANDLE folder,
                              const base::FilePath& destination, Saved* saved,
                              FolderSecurities* known) override {
    const base::win::ScopedHandle file = OpenToMoveInHeldFolder(
        source_walk, source, DELETE | READ_CONTROL | WRITE_DAC | WRITE_OWNER);
    if (!file.IsValid() || !ReadSecurity(file.Get(), saved)) {
      saved->clear();
      return HeldMove::kByPath;
    }
    if (!base::RenameOpenedInto(file.Get(), folder,
                                destination.BaseName().value(), false)) {
      saved->clear();
      return HeldMove::kByPath;
    }
    if (TakeMovedFolderSecurity(file.Get(), destination, known))
      return HeldMove::kDone;
    const HANDLE source_folder =
        source_walk->Folder(HeldParentOf(source), false);
    if (!source_folder ||
        !base::RenameOpenedInto(file.Get(), source_folder,
                                source.BaseName().value(), false)) {
      PLOG(ERROR) << "Couldn't move " << destination << " back";
    }
    RestoreSecurity(file.Get(), *saved);
    return HeldMove::kFailed;
  }

 private:
  // Gives |file|, just moved to |destination|, its new folder's security,
  // reusing what |known| holds for that folder and adding to it.
  static bool TakeMovedFolderSecurity(HANDLE file,
                                      const base::FilePath& destination,
                                      FolderSecurities* known) {
    const base::FilePath folder = destination.DirName();
    const Saved* given = known ? known->Find(folder) : nullptr;
    if (given) {
      if (SetKernelObjectSecurity(file, kOwnerGroupDacl,
                                  const_cast<uint8_t*>(given->data()))) {
        return true;
      }
      PLOG(ERROR) << "Cannot give " << destination
                  << " the security of its folder";
      return false;
    }
    // The system works out the first file's.
    if (!GiveFolderSecurity(file)) return false;
    Saved first;
    if (known && ReadSecurity(file, &first))
      known->Add(folder, std::move(first));
    return true;
  }
};

}  // namespace

// static
FileSecurity* FileSecurity::Get() {
  static RealFileSecurity real;
  return g_for_testing ? g_for_testing : &real;
}

// static
void FileSecurity::SetForTesting(FileSecurity* security) {
  g_for_testing = security;
}

FileSecurity::FolderSecurities::FolderSecurities() = default;
FileSecurity::FolderSecurities::~FolderSecurities() = default;

const FileSecurity::Saved* FileSecurity::FolderSecurities::Find(
    const base::FilePath& folder) const {
  const auto found = by_folder_.find(folder.value());
  return found == by_folder_.end() ? nullptr : &found->second;
}

void FileSecurity::FolderSecurities::Add(const base::FilePath& folder,
                                         Saved security) {
  by_folder_[folder.value()] = std::move(security);
}

bool FileSecurity::Save(const base::FilePath& path, Saved* saved) {
  base::win::ScopedHandle object = OpenForSecurity(path, READ_CONTROL);
  return object.IsValid() && ReadSecurity(object.Get(), saved);
}

bool FileSecurity::TakeFolderSecurity(const base::FilePath& path) {
  base::win::ScopedHandle object =
      OpenForSecurity(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER);
  if (!object.IsValid()) {
    PLOG(ERROR) << "Cannot give " << path << " the security of its folder";
    return false;
  }
  return GiveFolderSecurity(object.Get());
}

bool FileSecurity::Restore(const base::FilePath& path, const Saved& saved) {
  base::win::ScopedHandle object =
      OpenForSecurity(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER);
  return object.IsValid() && RestoreSecurity(object.Get(), saved);
}

HeldMove FileSecurity::MoveIntoHeldFolder(base::FolderWalk*,
                                          const base::FilePath&, HANDLE,
                                          const base::FilePath&, Saved*,
                                          FolderSecurities*) {
  return HeldMove::kByPath;
}

bool FileSecurity::MoveTakingFolderSecurity(const base::FilePath& source,
                                            const base::FilePath& destination,
                                            Saved* saved, FolderSecurities*) {
  if (!Save(source, saved)) {
    PLOG(ERROR) << "Cannot read the security of " << source;
    return false;
  }
  if (!base::MoveWithoutLinks(source.value(), destination.value(), true)) {
    PLOG(ERROR) << "File move failed: " << source << " to " << destination;
    return false;
  }
  if (!TakeFolderSecurity(destination)) {
    base::MoveWithoutLinks(destination.value(), source.value(), false);
    Restore(source, *saved);
    return false;
  }
  return true;
}

}  // namespace installer
