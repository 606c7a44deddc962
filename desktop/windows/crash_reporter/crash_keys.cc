#include "desktop/windows/crash_reporter/crash_keys.h"

#include <algorithm>

#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"

namespace crash_reporter {

const CrashKeyRange kCrashKeyLayout[] = {
    {kVersionSlot, kVersionSlot, kVersionKey},
    {kBuildSlot, kBuildSlot, kBuildKey},
    {kBuildSetSlot, kBuildSetSlot, kBuildSetKey},
    {kBuildRequestTimeSlot, kBuildRequestTimeSlot, kBuildRequestTimeKey},
    {kProcessTypeSlot, kProcessTypeSlot, kProcessTypeKey},
    {5, 5, kCrashGuidKey},
    {6, 21, kActiveUrlKey},
    {22, 22, kGpuVendorIdKey},
    {23, 23, kGpuDeviceIdKey},
    {24, 24, kGpuDriverVersionKey},
    {25, 25, kGpuPixelShaderVersionKey},
    {26, 26, kGpuVertexShaderVersionKey},
    {kIsWow64Slot, kIsWow64Slot, kIsWow64Key},
    {kExceptionPolicySlot, kExceptionPolicySlot, kExceptionPolicyKey},
    {kVelautoTestFirstSlot, kVelautoTestLastSlot, kVelautoTestKey},
    {kOriginSlot, kOriginSlot, kOriginKey},
    {34, 49, kEnabledExtensionsKey},
    {50, 65, kDisabledExtensionsKey},
    {66, 69, kBlacklistedExtensionsKey},
    {70, 73, kTerminatedExtensionsKey},
    {74, 77, kThirdPartyInstallsKey},
    {kModulesFirstSlot, kModulesLastSlot, kModulesKey},
    {94, 94, kHandleInfoItemsKey},
    {95, 95, kInvalidHandleKey},
    {96, 99, kAbTestsKey},
};
const size_t kCrashKeyLayoutSize = std::size(kCrashKeyLayout);

const char16_t* const kCrashKeyModuleNames[] = {
    u"velna.dll", u"KernelBase.dll", u"kernel32.dll",
    u"ntdll.dll", u"user32.dll",     u"msvcrt.dll",
};
const size_t kCrashKeyModuleNameCount = std::size(kCrashKeyModuleNames);

size_t BoundedTextLength(const char16_t* text, size_t max_length) {
  if (!text) return 0;
  size_t length = 0;
  while (length < max_length && text[length]) ++length;
  return length;
}

size_t CopyTextPiece(base::StringPiece16 text, char16_t* destination,
                     size_t capacity) {
  const size_t count = std::min(text.size(), capacity - 1);
  std::copy_n(text.data(), count, destination);
  destination[count] = 0;
  return count;
}

void SetCrashKeyNames(CrashKeyEntry* entries, size_t first, size_t last,
                      const char16_t* name) {
  const base::StringPiece16 text(
      name, BoundedTextLength(name, kCrashKeyValueMaxLength));
  for (size_t slot = first; slot <= last; ++slot) {
    CopyTextPiece(text, entries[slot].name, kCrashKeyTextCapacity);
    entries[slot].value[0] = 0;
  }
}

void SetCrashKeyValue(CrashKeyEntry* entry, const char16_t* value) {
  CopyTextPiece(base::StringPiece16(
                    value, BoundedTextLength(value, kCrashKeyValueMaxLength)),
                entry->value, kCrashKeyTextCapacity);
}

void SetCrashKeyValues(CrashKeyEntry* entries, size_t first, size_t last,
                       base::StringPiece16 value) {
  for (size_t slot = first; slot <= last; ++slot) {
    const size_t copied =
        CopyTextPiece(value, entries[slot].value, kCrashKeyTextCapacity);
    value.remove_prefix(copied);
  }
}

void WriteCrashKeyLayout(CrashKeyEntry* entries) {
  for (const CrashKeyRange& key : kCrashKeyLayout)
    SetCrashKeyNames(entries, key.first, key.last, key.name);
}

std::u16string FormatModuleListEntry(base::StringPiece16 name,
                                     uint64_t base_address, uint64_t size,
                                     base::StringPiece16 path) {
  std::u16string entry = name.as_string();
  entry += base::ASCIIToUTF16(base::StringPrintf(
      ":%016llX:%llx:", static_cast<unsigned long long>(base_address),
      static_cast<unsigned long long>(size)));
  entry.append(path.data(), path.size());
  entry += u"::";
  return entry;
}

}  // namespace crash_reporter
