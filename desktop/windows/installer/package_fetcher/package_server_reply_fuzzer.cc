// Feeds arbitrary text to the update server's reply parser and holds every
// partner entry it accepts to what the fetcher relies on: a file name that
// is one plain component (no separator, no ":", no control character), so
// that the file stays in the package folder and adds one line to its list.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "base/strings/string_piece.h"
#include "desktop/windows/installer/package_fetcher/package_server_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<installer::PackageServerReply> reply =
      installer::PackageServerReply::Parse(
          base::StringPiece(reinterpret_cast<const char*>(data), size));
  if (!reply) return 0;
  std::string welcome;
  reply->GetWelcomeUrl(&welcome);
  for (size_t i = 0; i < reply->partner_count(); ++i) {
    installer::PartnerContentEntry entry;
    bool bad_name = false;
    if (!reply->GetPartnerEntry(i, &entry, &bad_name)) continue;
    if (bad_name || entry.file_name.empty() || entry.file_name == u"." ||
        entry.file_name == u"..") {
      abort();
    }
    for (char16_t c : entry.file_name) {
      if (c < 0x20 || c == u'\\' || c == u'/' || c == u':') abort();
    }
    for (char c : entry.checksum) {
      if (static_cast<unsigned char>(c) >= 0x80) abort();
    }
  }
  return 0;
}
