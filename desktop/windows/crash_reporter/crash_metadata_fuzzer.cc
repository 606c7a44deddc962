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
  FormFields text_log_fields;
  AddTextLogFields(keys, environment, &text_log_fields);
  FormFields minidump_fields;
  AddMinidumpFields(*metadata, keys, environment, &minidump_fields);
  return 0;
}
