#include "base/features/list_feature_reader.h"

#include <string>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/values.h"

namespace base {

namespace {

constexpr int kStoredEnabled = 1;
constexpr int kStoredDisabled = 2;

}  // namespace

ListFeatureReader::ListFeatureReader(const ListValue& list) : list_(list) {}

ListFeatureReader::~ListFeatureReader() = default;

void ListFeatureReader::Read(std::vector<FeatureEntry>* overrides) const {
  for (size_t i = 0; i < list_.GetSize(); ++i) {
    std::string element;
    if (!list_.GetString(i, &element)) continue;
    const std::vector<std::string> parts =
        SplitString(element, "@", SplitWhitespace::kTrim, SplitFilter::kAll);
    if (parts.size() != 2) continue;
    int state = 0;
    if (!StringToInt(parts[1], &state)) continue;
    if (state == kStoredEnabled)
      overrides->push_back({parts[0], true, false});
    else if (state == kStoredDisabled)
      overrides->push_back({parts[0], false, false});
  }
}

}  // namespace base
