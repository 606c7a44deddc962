#include "desktop/windows/installer/service/scheduled_task_spec.h"

#include <iterator>

#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/branding_config.h"

namespace installer {

namespace {

constexpr char16_t kJobSuffix[] = u".job";

}  // namespace

ScheduledTaskSpec::ScheduledTaskSpec(const base::CommandLine& command_line)
    : command_line(command_line) {}

ScheduledTaskSpec::~ScheduledTaskSpec() = default;

std::u16string BuildTaskName(const std::u16string& suffix) {
  return base::UTF8ToUTF16(BrandingConfig::GetProductName()) + kTaskNameInfix +
         suffix;
}

bool IsProductTaskName(base::StringPiece16 name) {
  return base::StartsWith16(name, BuildTaskName(std::u16string()),
                            base::CompareCase::INSENSITIVE_ASCII);
}

std::u16string StripJobSuffix(const std::u16string& name) {
  if (!base::EndsWith16(name, kJobSuffix, base::CompareCase::INSENSITIVE_ASCII))
    return name;
  return name.substr(0, name.size() - (std::size(kJobSuffix) - 1));
}

std::u16string FormatTaskDuration(uint32_t seconds) {
  return base::ASCIIToUTF16(base::StringPrintf("PT%uS", seconds));
}

std::u16string FormatTaskBoundary(base::Time time) {
  base::Time::Exploded exploded = {};
  time.LocalExplode(&exploded);
  return base::ASCIIToUTF16(base::StringPrintf(
      "%02d-%02d-%02dT%02d:%02d:%02d", exploded.year, exploded.month,
      exploded.day_of_month, exploded.hour, exploded.minute, exploded.second));
}

}  // namespace installer
