// Crash keys: named values that every installer process keeps in one block
// of kCrashKeyCount entries, and that its crash reporter reads out of the
// crashed process's memory. The entry layout is fixed, since another process
// reads it.
//
// A key may own a run of consecutive slots (a multi-slot key): each slot of
// the run carries the key's name, and the value is spread over the slots in
// pieces of at most kCrashKeyValueMaxLength characters, in order.
//
// These functions only write into the entries they are given; locking and
// page protection belong to CrashKeyTable (crash_key_table_win.h).

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEYS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEYS_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/strings/string_piece.h"

namespace crash_reporter {

// Room for a name or a value, its terminating NUL included.
inline constexpr size_t kCrashKeyTextCapacity = 64;
inline constexpr size_t kCrashKeyValueMaxLength = kCrashKeyTextCapacity - 1;

struct CrashKeyEntry {
  char16_t name[kCrashKeyTextCapacity];
  char16_t value[kCrashKeyTextCapacity];
};
static_assert(sizeof(CrashKeyEntry) == 256, "read by the crash reporter");
static_assert(offsetof(CrashKeyEntry, value) == 128,
              "read by the crash reporter");

inline constexpr size_t kCrashKeyCount = 100;

// A run of crash keys: an installer process's table, or a reporter's copy of
// a client's.
struct CrashKeyEntries {
  const CrashKeyEntry* entries = nullptr;
  size_t count = 0;
};

// The key names.
inline constexpr char16_t kVersionKey[] = u"version";
inline constexpr char16_t kBuildKey[] = u"build";
inline constexpr char16_t kBuildSetKey[] = u"buildset";
inline constexpr char16_t kBuildRequestTimeKey[] = u"build_request_time";
inline constexpr char16_t kProcessTypeKey[] = u"process_type";
inline constexpr char16_t kCrashGuidKey[] = u"crash_guid";
inline constexpr char16_t kActiveUrlKey[] = u"active_url";
inline constexpr char16_t kGpuVendorIdKey[] = u"gpu_vendor_id";
inline constexpr char16_t kGpuDeviceIdKey[] = u"gpu_device_id";
inline constexpr char16_t kGpuDriverVersionKey[] = u"gpu_driver_version";
inline constexpr char16_t kGpuPixelShaderVersionKey[] =
    u"gpu_pixel_shader_version";
inline constexpr char16_t kGpuVertexShaderVersionKey[] =
    u"gpu_vertex_shader_version";
inline constexpr char16_t kIsWow64Key[] = u"is_wow64";
inline constexpr char16_t kExceptionPolicyKey[] = u"exception_policy";
inline constexpr char16_t kVelautoTestKey[] = u"velauto_test";
inline constexpr char16_t kOriginKey[] = u"origin";
inline constexpr char16_t kEnabledExtensionsKey[] = u"enabled_extensions";
inline constexpr char16_t kDisabledExtensionsKey[] = u"disabled_extensions";
inline constexpr char16_t kBlacklistedExtensionsKey[] =
    u"blacklisted_extensions";
inline constexpr char16_t kTerminatedExtensionsKey[] = u"terminated_extensions";
inline constexpr char16_t kThirdPartyInstallsKey[] = u"third_party_installs";
inline constexpr char16_t kModulesKey[] = u"modules";
inline constexpr char16_t kHandleInfoItemsKey[] = u"handle_info_items";
inline constexpr char16_t kInvalidHandleKey[] = u"invalid_handle";
inline constexpr char16_t kAbTestsKey[] = u"ab_tests";

// The slots that installer code fills.
enum CrashKeySlot : size_t {
  kVersionSlot = 0,
  kBuildSlot = 1,
  kBuildSetSlot = 2,
  kBuildRequestTimeSlot = 3,
  kProcessTypeSlot = 4,
  kIsWow64Slot = 27,
  kExceptionPolicySlot = 28,
  kVelautoTestFirstSlot = 29,
  kVelautoTestLastSlot = 32,
  kOriginSlot = 33,
  kModulesFirstSlot = 78,
  kModulesLastSlot = 93,
};

// A key and the slots it owns, first to last inclusive.
struct CrashKeyRange {
  size_t first;
  size_t last;
  const char16_t* name;
};

// Every key of the table in slot order; together they cover all
// kCrashKeyCount slots once.
extern const CrashKeyRange kCrashKeyLayout[];
extern const size_t kCrashKeyLayoutSize;

// The modules that the "modules" key describes, after the main executable.
extern const char16_t* const kCrashKeyModuleNames[];
extern const size_t kCrashKeyModuleNameCount;

// The length of |text| counting at most |max_length| units, without reading
// further; 0 for null.
size_t BoundedTextLength(const char16_t* text, size_t max_length);

// Copies at most |capacity| - 1 units of |text| into |destination| and
// terminates it; returns the units copied. |capacity| must be at least 1.
size_t CopyTextPiece(base::StringPiece16 text, char16_t* destination,
                     size_t capacity);

// Names slots |first| to |last| of |entries| |name| (null: empty), cut to
// kCrashKeyValueMaxLength characters, and clears their values.
void SetCrashKeyNames(CrashKeyEntry* entries, size_t first, size_t last,
                      const char16_t* name);

// Sets one slot's value, cut to its first kCrashKeyValueMaxLength
// characters; null clears it.
void SetCrashKeyValue(CrashKeyEntry* entry, const char16_t* value);

// Spreads |value| over slots |first| to |last| in pieces of at most
// kCrashKeyValueMaxLength characters and clears the slots it does not
// reach; a longer value is cut at the range's end. Names are not touched.
void SetCrashKeyValues(CrashKeyEntry* entries, size_t first, size_t last,
                       base::StringPiece16 value);

// Writes every key's name of kCrashKeyLayout into |entries| (kCrashKeyCount
// of them) with empty values.
void WriteCrashKeyLayout(CrashKeyEntry* entries);

// One entry of the "modules" value: name, ':', the base address as 16
// upper-case hexadecimal digits, ':', the size in lower-case hexadecimal,
// ':', the path and "::".
std::u16string FormatModuleListEntry(base::StringPiece16 name,
                                     uint64_t base_address, uint64_t size,
                                     base::StringPiece16 path);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_KEYS_H_
