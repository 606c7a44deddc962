#include "desktop/windows/installer/package_fetcher/package_server_reply.h"

#include <utility>

#include "base/json/json_reader.h"
#include "base/values.h"
#include "desktop/windows/installer/package_fetcher/archive_item_path.h"

namespace installer {

namespace {

constexpr char kInstallerKey[] = "installer";
constexpr char kInstallerChecksumKey[] = "installer_checksum";
constexpr char kPartnerContentKey[] = "partner_content";
constexpr char kWelcomeUrlKey[] = "url_welcome";
constexpr char kPartnerHrefKey[] = "href";
constexpr char kPartnerFileNameKey[] = "filename";
constexpr char kPartnerChecksumKey[] = "checksum";

}  // namespace

bool IsPlainFileName(const std::u16string& name) {
  // The archive rule splits at separators; one component is wanted here.
  if (name.find_first_of(u"\\/") != std::u16string::npos) return false;
  return IsSafeArchiveItemPath(name);
}

PackageServerReply::PackageServerReply(
    std::unique_ptr<base::DictionaryValue> root)
    : root_(std::move(root)) {}

PackageServerReply::~PackageServerReply() = default;

// static
std::unique_ptr<PackageServerReply> PackageServerReply::Parse(
    base::StringPiece json) {
  std::unique_ptr<base::Value> value = base::JSONReader::ReadAndReturnError(
      json, base::JSONReader::JSON_PARSE_RFC, nullptr, nullptr);
  base::DictionaryValue* dictionary = nullptr;
  if (!value || !value->GetAsDictionary(&dictionary)) return nullptr;
  std::unique_ptr<base::DictionaryValue> root(dictionary);
  value.release();

  std::unique_ptr<PackageServerReply> reply(
      new PackageServerReply(std::move(root)));
  if (!reply->root_->GetString(kInstallerKey, &reply->installer_url_) ||
      !reply->root_->GetString(kInstallerChecksumKey,
                               &reply->installer_checksum_)) {
    return nullptr;
  }
  reply->root_->GetList(kPartnerContentKey, &reply->partner_list_);
  return reply;
}

bool PackageServerReply::GetWelcomeUrl(std::string* url) const {
  return root_->GetString(kWelcomeUrlKey, url);
}

size_t PackageServerReply::partner_count() const {
  return partner_list_ ? partner_list_->GetSize() : 0;
}

bool PackageServerReply::GetPartnerEntry(size_t index,
                                         PartnerContentEntry* entry,
                                         bool* bad_name) const {
  if (bad_name) *bad_name = false;
  const base::DictionaryValue* item = nullptr;
  if (!partner_list_ || !partner_list_->GetDictionary(index, &item) ||
      !item->GetString(kPartnerHrefKey, &entry->href) ||
      !item->GetString(kPartnerFileNameKey, &entry->file_name) ||
      !item->GetStringASCII(kPartnerChecksumKey, &entry->checksum)) {
    return false;
  }
  if (!IsPlainFileName(entry->file_name)) {
    if (bad_name) *bad_name = true;
    return false;
  }
  return true;
}

}  // namespace installer
