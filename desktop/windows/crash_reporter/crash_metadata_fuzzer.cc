// Feeds arbitrary crash-key tables, as a crashed process could leave them,
// to the metadata and form-field builders.

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "desktop/windows/crash_reporter/crash_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace crash_reporter;
  std::vector<CrashKeyEntry> entries(size / sizeof(CrashKeyEntry) + 1);
  memset(entries.data(), 0, entries.size() * sizeof(CrashKeyEntry));
  if (size) memcpy(entries.data(), data, size);
  const CrashKeyEntries keys = {entries.data(), entries.size()};

  static CrashMetadata* const metadata =
      new CrashMetadata({"10.0.1", "", "0x9", "0x6", "0x1"});
  CrashLogInfo info;
  BuildCrashLogMetadata(*metadata, keys, &info);
  CrashEnvironment environment;
  environment.process_creation = base::Time::UnixEpoch();
  // The one pass finds what the lookups by name find.
  const ResolvedCrashKeys resolved = ResolveCrashKeys(keys);
  std::u16string value;
  if (resolved.origin != GetCrashOrigin(keys) ||
      resolved.process_type.has_value() !=
          GetCrashKeyValue(keys, kProcessTypeKey, &value) ||
      (resolved.process_type && *resolved.process_type != value) ||
      GetMultiSlotValue(keys, kActiveUrlKey, &value) !=
          !resolved.active_url.empty() ||
      (!resolved.active_url.empty() && resolved.active_url != value)) {
    __builtin_trap();
  }
  FormFields text_log_fields;
  AddTextLogFields(resolved, environment, &text_log_fields);
  FormFields minidump_fields;
  AddMinidumpFields(*metadata, keys, resolved, environment, &minidump_fields);
  return 0;
}
