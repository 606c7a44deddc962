// PackageServerReply: the update server's answer to a net installer's
// package request, a JSON object:
//   "installer"           string, required: the full installer's URL
//   "installer_checksum"  string, required: its SHA-256, lower-case hex
//   "partner_content"     list, optional: extra files, each
//                         {"href", "filename", "checksum"}
//   "url_welcome"         string, optional: the welcome page
// Other members are ignored. The reply is untrusted: every member is checked
// for its type where it is read, and a partner file name must be one plain
// file name. Portable; used by one thread at a time.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_SERVER_REPLY_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_SERVER_REPLY_H_

#include <stddef.h>

#include <memory>
#include <string>

#include "base/strings/string_piece.h"

namespace base {
class DictionaryValue;
class ListValue;
}  // namespace base

namespace installer {

// One partner content file of the reply.
struct PartnerContentEntry {
  std::u16string href;
  std::u16string file_name;
  // SHA-256 as the server wrote it (ASCII).
  std::string checksum;
};

// True when |name| is one plain file name that stays in the folder it is
// put in: no separator, and nothing IsSafeArchiveItemPath() refuses ("." or
// "..", ":", control characters such as CR and LF, reserved characters,
// device names, a trailing dot or space).
bool IsPlainFileName(const std::u16string& name);

class PackageServerReply {
 public:
  PackageServerReply(const PackageServerReply&) = delete;
  PackageServerReply& operator=(const PackageServerReply&) = delete;
  ~PackageServerReply();

  // Parses |json| (strict JSON: no trailing commas). Null unless it is an
  // object with the strings "installer" and "installer_checksum".
  static std::unique_ptr<PackageServerReply> Parse(base::StringPiece json);

  const std::u16string& installer_url() const { return installer_url_; }
  const std::string& installer_checksum() const { return installer_checksum_; }

  // The "url_welcome" string (UTF-8); false when there is none.
  bool GetWelcomeUrl(std::string* url) const;

  // The number of entries of "partner_content"; 0 when it is absent or not
  // a list.
  size_t partner_count() const;
  // Entry |index| (below partner_count()). False when it is not an object
  // with the strings "href", "filename" and "checksum" (ASCII), or its
  // file name is not IsPlainFileName(); |*bad_name| (may be null) then
  // tells whether the name was the cause.
  bool GetPartnerEntry(size_t index, PartnerContentEntry* entry,
                       bool* bad_name) const;

 private:
  explicit PackageServerReply(std::unique_ptr<base::DictionaryValue> root);

  std::unique_ptr<base::DictionaryValue> root_;
  std::u16string installer_url_;
  std::string installer_checksum_;
  // Inside |root_|; null when the reply has no list of partner content.
  const base::ListValue* partner_list_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_SERVER_REPLY_H_
