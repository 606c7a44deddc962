#include "desktop/windows/crash_reporter/crash_metadata.h"

#include <utility>

#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/printable_ascii.h"
#include "desktop/windows/installer/common/version_info.h"

namespace crash_reporter {

namespace {

// Field names of the uploads.
constexpr char16_t kEmailField[] = u"email";
constexpr char16_t kCrashUptimeField[] = u"CrashUptime";
constexpr char16_t kOriginField[] = u"origin";
constexpr char16_t kUrlField[] = u"url";
constexpr char16_t kStacktraceIdField[] = u"stacktraceId";
constexpr char16_t kMinidumpEmailField[] = u"Email";
constexpr char16_t kMinidumpOriginField[] = u"Origin";
constexpr char16_t kBuildIdField[] = u"BuildID";
constexpr char16_t kProcessTypeField[] = u"ProcessType";
constexpr char16_t kStartupTimeField[] = u"StartupTime";
constexpr char16_t kCrashTimeField[] = u"CrashTime";
constexpr char16_t kInstallTimeField[] = u"InstallTime";
constexpr char16_t kProductNameField[] = u"ProductName";
constexpr char16_t kVersionField[] = u"Version";
constexpr char16_t kUbnField[] = u"UBN";
constexpr char16_t kReleaseChannelField[] = u"ReleaseChannel";
constexpr char16_t kSymbolsPackageField[] = u"symbols-package";

constexpr char16_t kProductName[] = u"VelnaDesktop";
constexpr char16_t kCrashReporterProcessType[] = u"crash_reporter";
constexpr char16_t kBrowserProcessType[] = u"browser";
constexpr char16_t kBrowserTestsProcessType[] = u"browser_tests";
constexpr char16_t kTestSymbols[] = u"tests-syms";
constexpr char16_t kBrowserSymbols[] = u"browser-syms";
constexpr int kNightlyChannel = 1;
constexpr int kStableChannel = 4;

// The crash key that holds the client's uptime in milliseconds, added by
// the crash pipe's server.
constexpr char16_t kProcessUptimeKey[] = u"ptime";

// Crash keys that the text log's metadata never lists.
constexpr const char16_t* kUnlistedKeys[] = {
    kProcessUptimeKey, kActiveUrlKey,       kCrashGuidKey,
    kModulesKey,       kHandleInfoItemsKey, kInvalidHandleKey,
    kBuildSetKey,      kBuildRequestTimeKey};
// Keys whose entries are joined into one line, in the order they are
// printed; all but the first are printed even when empty.
constexpr const char16_t* kJoinedKeys[] = {kVelautoTestKey,
                                           kEnabledExtensionsKey,
                                           kDisabledExtensionsKey,
                                           kBlacklistedExtensionsKey,
                                           kTerminatedExtensionsKey,
                                           kThirdPartyInstallsKey,
                                           kAbTestsKey};

// Crash keys renamed into minidump fields.
constexpr std::pair<const char16_t*, const char16_t*> kKeyToMinidumpField[] = {
    {kVersionKey, u"Version"},
    {kBuildKey, u"UBN"},
    {kProcessTypeKey, u"ProcessType"},
    {kActiveUrlKey, u"URL"},
    {kGpuVendorIdKey, kGpuVendorIdKey},
    {kGpuDeviceIdKey, kGpuDeviceIdKey},
    {kGpuDriverVersionKey, kGpuDriverVersionKey},
    {kGpuPixelShaderVersionKey, kGpuPixelShaderVersionKey},
    {kGpuVertexShaderVersionKey, kGpuVertexShaderVersionKey},
    {kEnabledExtensionsKey, kEnabledExtensionsKey},
    {kDisabledExtensionsKey, kDisabledExtensionsKey},
    {kBlacklistedExtensionsKey, kBlacklistedExtensionsKey},
    {kTerminatedExtensionsKey, kTerminatedExtensionsKey},
    {kThirdPartyInstallsKey, kThirdPartyInstallsKey},
    {kAbTestsKey, kAbTestsKey},
};

base::StringPiece16 EntryName(const CrashKeyEntry& entry) {
  return base::StringPiece16(
      entry.name, BoundedTextLength(entry.name, kCrashKeyTextCapacity));
}

base::StringPiece16 EntryValue(const CrashKeyEntry& entry) {
  return base::StringPiece16(
      entry.value, BoundedTextLength(entry.value, kCrashKeyTextCapacity));
}

void SetIfAbsent(FormFields* fields, const std::u16string& name,
                 const std::u16string& value) {
  fields->emplace(name, value);
}

void AddEmailField(const CrashEnvironment& environment, const char16_t* name,
                   FormFields* fields) {
  if (!environment.email.empty()) SetIfAbsent(fields, name, environment.email);
}

std::u16string SecondsSinceEpoch(base::Time time) {
  return base::Int64ToString16(time.ToMillisecondsSinceUnixEpoch() / 1000);
}

// "StartupTime", "CrashTime" and "InstallTime"; |keys| may be null.
void AddTimeFields(const ResolvedCrashKeys* keys,
                   const CrashEnvironment& environment, FormFields* fields) {
  std::optional<base::TimeDelta> uptime;
  int64_t milliseconds = 0;
  if (keys && keys->uptime_ms &&
      base::WideStringToInt64(*keys->uptime_ms, &milliseconds)) {
    uptime = base::TimeDelta::FromMilliseconds(milliseconds);
  }
  base::Time start;
  base::Time crash;
  if (environment.process_creation) {
    start = *environment.process_creation;
    crash = uptime ? start + *uptime : environment.now;
  } else {
    crash = environment.now;
    start = uptime ? crash - *uptime : environment.now;
  }
  SetIfAbsent(fields, kStartupTimeField, SecondsSinceEpoch(start));
  SetIfAbsent(fields, kCrashTimeField, SecondsSinceEpoch(crash));
  if (environment.executable_creation) {
    SetIfAbsent(fields, kInstallTimeField,
                SecondsSinceEpoch(*environment.executable_creation));
  }
}

// The build time stamp's date and the build-set number padded to 6 digits.
std::u16string MakeBuildId(base::StringPiece16 timestamp,
                           std::u16string build_set) {
  if (build_set.size() < 6) build_set.insert(0, 6 - build_set.size(), u'0');
  return std::u16string(timestamp.substr(0, 8)) + build_set;
}

std::u16string InstallerBuildId() {
  return MakeBuildId(
      base::ASCIIToUTF16(installer::VersionInfo::GetBuildTimestamp()),
      base::IntToString16(installer::VersionInfo::GetBuildSetNumber()));
}

void AddDefaultFields(FormFields* fields) {
  SetIfAbsent(fields, kProductNameField, kProductName);
  SetIfAbsent(fields, kVersionField,
              base::UTF8ToUTF16(installer::VersionInfo::GetProductVersion()));
  SetIfAbsent(fields, kUbnField,
              base::IntToString16(installer::VersionInfo::GetBuildNumber()));
  const int channel = installer::VersionInfo::GetReleaseChannel();
  SetIfAbsent(fields, kReleaseChannelField,
              channel == kNightlyChannel ? u"nightly"
              : channel == kStableChannel
                  ? u"release"
                  : base::UTF8ToUTF16(installer::VersionInfo::GetStream()));
  auto process_type = fields->find(kProcessTypeField);
  const bool tests = process_type != fields->end() &&
                     process_type->second == kBrowserTestsProcessType;
  SetIfAbsent(fields, kSymbolsPackageField,
              tests ? kTestSymbols : kBrowserSymbols);
  SetIfAbsent(fields, kBuildIdField, InstallerBuildId());
}

// 1 to 63 characters, each an ASCII letter or digit, '.', '-' or '_'.
bool IsListableName(base::StringPiece16 name) {
  if (name.empty() || name.size() >= kCrashKeyTextCapacity) return false;
  for (char16_t c : name) {
    if (!IsAlphanumericAscii(c) && c != '.' && c != '-' && c != '_')
      return false;
  }
  return true;
}

template <size_t N>
bool IsOneOf(base::StringPiece16 name, const char16_t* const (&keys)[N]) {
  for (const char16_t* key : keys)
    if (name == key) return true;
  return false;
}

}  // namespace

CrashMetadata::CrashMetadata(const MachineFacts& facts) : facts_(facts) {
  for (const auto& [key, field] : kKeyToMinidumpField)
    key_to_field_.emplace(key, field);
}

CrashMetadata::~CrashMetadata() = default;

const char16_t* CrashMetadata::MinidumpFieldForKey(
    base::StringPiece16 key) const {
  auto found =
      key_to_field_.find(std::u16string(key.substr(0, kCrashKeyTextCapacity)));
  return found == key_to_field_.end() ? nullptr : found->second;
}

const CrashKeyEntry* FindCrashKey(const CrashKeyEntries& entries,
                                  base::StringPiece16 key) {
  for (size_t i = 0; i < entries.count; ++i)
    if (EntryName(entries.entries[i]) == key) return &entries.entries[i];
  return nullptr;
}

bool GetCrashKeyValue(const CrashKeyEntries& entries, base::StringPiece16 key,
                      std::u16string* value) {
  const CrashKeyEntry* entry = FindCrashKey(entries, key);
  if (!entry) return false;
  const base::StringPiece16 text = EntryValue(*entry);
  value->assign(text.data(), text.size());
  return true;
}

bool GetMultiSlotValue(const CrashKeyEntries& entries, base::StringPiece16 key,
                       std::u16string* value) {
  value->clear();
  for (size_t i = 0; i < entries.count; ++i) {
    if (EntryName(entries.entries[i]) != key) continue;
    const base::StringPiece16 text = EntryValue(entries.entries[i]);
    value->append(text.data(), text.size());
  }
  return !value->empty();
}

std::u16string GetCrashOrigin(const CrashKeyEntries& entries) {
  std::u16string value;
  if (GetMultiSlotValue(entries, kVelautoTestKey, &value))
    return kVelautoOrigin;
  if (GetCrashKeyValue(entries, kOriginKey, &value) &&
      value == kInternalCrashToolOrigin) {
    return value;
  }
  return std::u16string();
}

ResolvedCrashKeys ResolveCrashKeys(const CrashKeyEntries& entries) {
  ResolvedCrashKeys keys;
  std::optional<std::u16string> origin_key;
  std::u16string velauto_test;
  for (size_t i = 0; i < entries.count; ++i) {
    const base::StringPiece16 name = EntryName(entries.entries[i]);
    const base::StringPiece16 value = EntryValue(entries.entries[i]);
    auto first = [&](std::optional<std::u16string>* key) {
      if (!*key) *key = std::u16string(value);
    };
    if (name == kProcessTypeKey) {
      first(&keys.process_type);
    } else if (name == kCrashGuidKey) {
      first(&keys.crash_guid);
    } else if (name == kProcessUptimeKey) {
      first(&keys.uptime_ms);
    } else if (name == kBuildRequestTimeKey) {
      first(&keys.build_request_time);
    } else if (name == kBuildSetKey) {
      first(&keys.build_set);
    } else if (name == kOriginKey) {
      first(&origin_key);
    } else if (name == kModulesKey) {
      keys.modules.append(value.data(), value.size());
    } else if (name == kActiveUrlKey) {
      keys.active_url.append(value.data(), value.size());
    } else if (name == kVelautoTestKey) {
      velauto_test.append(value.data(), value.size());
    }
  }
  if (!velauto_test.empty())
    keys.origin = kVelautoOrigin;
  else if (origin_key == kInternalCrashToolOrigin)
    keys.origin = *origin_key;
  return keys;
}

bool IsBrowserProcessCrash(const ResolvedCrashKeys& keys) {
  return keys.process_type == kBrowserProcessType;
}

void AddTextLogFields(const ResolvedCrashKeys& keys,
                      const CrashEnvironment& environment, FormFields* fields) {
  AddEmailField(environment, kEmailField, fields);
  if (keys.uptime_ms && keys.uptime_ms->size() >= 4 &&
      keys.uptime_ms->size() <= 13) {
    SetIfAbsent(fields, kCrashUptimeField,
                keys.uptime_ms->substr(0, keys.uptime_ms->size() - 3));
  }
  if (!keys.origin.empty()) SetIfAbsent(fields, kOriginField, keys.origin);
  if (!IsBrowserProcessCrash(keys) && !keys.active_url.empty())
    SetIfAbsent(fields, kUrlField, keys.active_url);
}

void AddOwnCrashTextLogFields(const CrashEnvironment& environment,
                              FormFields* fields) {
  AddEmailField(environment, kEmailField, fields);
}

void AddMinidumpFields(const CrashMetadata& metadata,
                       const CrashKeyEntries& entries,
                       const ResolvedCrashKeys& keys,
                       const CrashEnvironment& environment,
                       FormFields* fields) {
  AddEmailField(environment, kMinidumpEmailField, fields);
  for (size_t i = 0; i < entries.count; ++i) {
    const char16_t* field =
        metadata.MinidumpFieldForKey(EntryName(entries.entries[i]));
    if (!field) continue;
    const base::StringPiece16 value = EntryValue(entries.entries[i]);
    (*fields)[field].append(value.data(), value.size());
  }
  if (!keys.origin.empty())
    SetIfAbsent(fields, kMinidumpOriginField, keys.origin);

  const std::u16string timestamp =
      keys.build_request_time
          ? *keys.build_request_time
          : base::ASCIIToUTF16(installer::VersionInfo::GetBuildTimestamp());
  const std::u16string build_set =
      keys.build_set
          ? *keys.build_set
          : base::IntToString16(installer::VersionInfo::GetBuildSetNumber());
  SetIfAbsent(fields, kBuildIdField, MakeBuildId(timestamp, build_set));

  AddTimeFields(&keys, environment, fields);
  AddDefaultFields(fields);
}

void AddOwnCrashMinidumpFields(const CrashEnvironment& environment,
                               FormFields* fields) {
  AddEmailField(environment, kMinidumpEmailField, fields);
  SetIfAbsent(fields, kProcessTypeField, kCrashReporterProcessType);
  AddTimeFields(nullptr, environment, fields);
  AddDefaultFields(fields);
}

void AddStacktraceIdField(const std::u16string& id, FormFields* fields) {
  if (!id.empty()) SetIfAbsent(fields, kStacktraceIdField, id);
}

void BuildCrashLogMetadata(const CrashMetadata& metadata,
                           const CrashKeyEntries& entries, CrashLogInfo* info) {
  std::map<std::u16string, std::u16string> joined;
  for (size_t i = 0; i < entries.count; ++i) {
    const base::StringPiece16 name = EntryName(entries.entries[i]);
    const base::StringPiece16 value = EntryValue(entries.entries[i]);
    if (!IsListableName(name) || IsOneOf(name, kUnlistedKeys)) continue;
    if (IsOneOf(name, kJoinedKeys)) {
      joined[std::u16string(name)].append(value.data(), value.size());
    } else if (name == kVersionKey) {
      info->version = base::UTF16ToUTF8(value);
    } else if (name == kBuildKey) {
      info->build = base::UTF16ToUTF8(value);
    } else if (!value.empty()) {
      info->metadata.emplace_back(base::UTF16ToUTF8(name),
                                  base::UTF16ToUTF8(value));
    }
  }
  for (const char16_t* key : kJoinedKeys) {
    const std::u16string& value = joined[key];
    if (base::StringPiece16(key) == kVelautoTestKey && value.empty()) continue;
    info->metadata.emplace_back(base::UTF16ToUTF8(key),
                                base::UTF16ToUTF8(value));
  }
  const MachineFacts& facts = metadata.machine_facts();
  info->metadata.emplace_back("os_version", facts.os_version);
  info->metadata.emplace_back("os_service_pack_version",
                              facts.os_service_pack_version);
  info->metadata.emplace_back("cpu_architecture", facts.cpu_architecture);
  info->metadata.emplace_back("cpu_level", facts.cpu_level);
  info->metadata.emplace_back("cpu_revision", facts.cpu_revision);
  FillCrashLogHeaderFromInstaller(info);
}

void BuildOwnCrashLogMetadata(CrashLogInfo* info) {
  info->metadata.emplace_back("process_type", "crash_reporter");
  FillCrashLogHeaderFromInstaller(info);
}

void AddMemoryMetadata(uint64_t working_set_size,
                       uint64_t peak_working_set_size, uint64_t private_usage,
                       CrashLogInfo* info) {
  info->metadata.emplace_back("mem_working_set_size",
                              base::Uint64ToString(working_set_size));
  info->metadata.emplace_back("mem_peak_working_set_size",
                              base::Uint64ToString(peak_working_set_size));
  info->metadata.emplace_back("mem_private_usage",
                              base::Uint64ToString(private_usage));
}

}  // namespace crash_reporter
