#include "base/features/command_line_feature_reader.h"

#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

CommandLineFeatureReader::CommandLineFeatureReader(
    const CommandLine& command_line)
    : command_line_(command_line) {}

CommandLineFeatureReader::~CommandLineFeatureReader() = default;

void CommandLineFeatureReader::Read(
    std::vector<FeatureEntry>* overrides) const {
  const StringPiece prefix(kFeatureSwitchPrefix);
  for (const auto& [switch_name, native_value] : command_line_.GetSwitches()) {
    if (!StartsWith(switch_name, prefix)) continue;
    const std::string name = switch_name.substr(prefix.size());
    const std::string value =
        IsStringASCII16(native_value) ? UTF16ToASCII(native_value) : "";
    if (value == "off") {
      overrides->push_back({name, false, false});
    } else if (value == "on" || value.empty()) {
      overrides->push_back({name, true, false});
    } else {
      LOG(WARNING) << switch_name << " has unhandled value: \"" << value
                   << "\" did you mean \"on\" or \"off\"? Using default "
                      "setting.";
    }
  }
}

}  // namespace base
