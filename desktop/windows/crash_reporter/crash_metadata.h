// Crash metadata: the named values that go with every crash report, made
// from the crashed process's crash keys, the environment and facts about
// the machine:
// - the metadata lines and header fields of the text crash log
//   (CrashLogInfo);
// - the form fields of the text-log upload and of the minidump upload;
// - lookups of crash keys in the reporter's copy of a client's table.
//
// Crash-key names and values are read within kCrashKeyTextCapacity code
// units, whether they end with a NUL or not. Every field addition inserts
// only when the field is absent, unless it says that it appends.
//
// CrashMetadata is one per process (GetInstance, Windows: created on first
// use, machine facts read once, deleted at exit); after creation it is only
// read, from any thread. The builders work on the caller's objects. The
// portable builders take what they need of the environment and of the
// crashed process as a CrashEnvironment; crash_metadata_win.h reads it.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_H_

#include <stdint.h>

#include <map>
#include <optional>
#include <string>

#include "base/strings/string_piece.h"
#include "base/time/time.h"
#include "desktop/windows/crash_reporter/crash_keys.h"
#include "desktop/windows/crash_reporter/crash_log_info.h"
#include "desktop/windows/crash_reporter/util/crash_upload_task.h"

namespace crash_reporter {

// The "origin" crash key's value of the maker's internal crash tool; only
// that value is reported as an origin.
inline constexpr char16_t kInternalCrashToolOrigin[] = u"VelnaCrashLab";
// The origin reported for crashes of automated tests.
inline constexpr char16_t kVelautoOrigin[] = u"Velauto";

// Facts about the machine, read once.
struct MachineFacts {
  std::string os_version;               // "major.minor.build"
  std::string os_service_pack_version;  // "major.minor", or empty
  std::string cpu_architecture;         // "0x" and lower-case hexadecimal
  std::string cpu_level;
  std::string cpu_revision;
};

// What the field builders read outside the crash keys.
struct CrashEnvironment {
  // The e-mail variable's value (1 to 191 characters), else empty.
  std::u16string email;
  base::Time now;
  // The crashed process's creation time, when known.
  std::optional<base::Time> process_creation;
  // The creation time of the crashed process's executable file, when known.
  std::optional<base::Time> executable_creation;
};

class CrashMetadata {
 public:
  // Windows: the process-wide instance with the machine's facts.
  static CrashMetadata* GetInstance();

  explicit CrashMetadata(const MachineFacts& facts);
  CrashMetadata(const CrashMetadata&) = delete;
  CrashMetadata& operator=(const CrashMetadata&) = delete;
  ~CrashMetadata();

  const MachineFacts& machine_facts() const { return facts_; }
  // The minidump field that crash key |key| fills, or null.
  const char16_t* MinidumpFieldForKey(base::StringPiece16 key) const;

 private:
  const MachineFacts facts_;
  std::map<std::u16string, const char16_t*> key_to_field_;
};

// --- Crash keys.

// The first entry named |key|, or null.
const CrashKeyEntry* FindCrashKey(const CrashKeyEntries& entries,
                                  base::StringPiece16 key);
// The first entry's value; false when there is no such key.
bool GetCrashKeyValue(const CrashKeyEntries& entries, base::StringPiece16 key,
                      std::u16string* value);
// The values of all entries named |key|, in table order, joined; false when
// the result is empty.
bool GetMultiSlotValue(const CrashKeyEntries& entries, base::StringPiece16 key,
                       std::u16string* value);
// kVelautoOrigin when "velauto_test" is not empty; else the "origin" key
// when it is kInternalCrashToolOrigin; else empty.
std::u16string GetCrashOrigin(const CrashKeyEntries& entries);

// The keys that the handling of one crash reads, found in one pass over the
// table: a key of one slot by its first entry (none when absent), a
// multi-slot key by its joined values.
struct ResolvedCrashKeys {
  std::optional<std::u16string> process_type;
  std::optional<std::u16string> crash_guid;
  std::optional<std::u16string> uptime_ms;  // "ptime"
  std::optional<std::u16string> build_request_time;
  std::optional<std::u16string> build_set;
  std::u16string modules;
  std::u16string active_url;
  // As GetCrashOrigin.
  std::u16string origin;
};
ResolvedCrashKeys ResolveCrashKeys(const CrashKeyEntries& entries);
// True when the crashed process is the browser process: its first
// "process_type" entry is "browser".
bool IsBrowserProcessCrash(const ResolvedCrashKeys& keys);

// --- Form fields.

// "email", "CrashUptime" (whole seconds of "ptime"), "origin", and "url"
// (the joined "active_url", not for the browser process).
void AddTextLogFields(const ResolvedCrashKeys& keys,
                      const CrashEnvironment& environment, FormFields* fields);
// "email" only.
void AddOwnCrashTextLogFields(const CrashEnvironment& environment,
                              FormFields* fields);
// "Email", the renamed crash keys of |entries|, "Origin", "BuildID", the
// times and the defaults; |keys| are those of |entries|.
void AddMinidumpFields(const CrashMetadata& metadata,
                       const CrashKeyEntries& entries,
                       const ResolvedCrashKeys& keys,
                       const CrashEnvironment& environment, FormFields* fields);
// "Email", "ProcessType" = "crash_reporter", the times and the defaults.
void AddOwnCrashMinidumpFields(const CrashEnvironment& environment,
                               FormFields* fields);
// Sets "stacktraceId" when |id| is not empty.
void AddStacktraceIdField(const std::u16string& id, FormFields* fields);

// --- The text log.

// The metadata lines from the crash keys and the machine facts; "version"
// and "build" go to the header, whose empty fields are then filled from the
// installer.
void BuildCrashLogMetadata(const CrashMetadata& metadata,
                           const CrashKeyEntries& entries, CrashLogInfo* info);
// ("process_type", "crash_reporter") and the header.
void BuildOwnCrashLogMetadata(CrashLogInfo* info);
void AddMemoryMetadata(uint64_t working_set_size,
                       uint64_t peak_working_set_size, uint64_t private_usage,
                       CrashLogInfo* info);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_METADATA_H_
