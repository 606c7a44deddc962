#include "desktop/windows/crash_reporter/crash_counts.h"

#include <limits>
#include <memory>

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/values.h"

namespace crash_reporter {

void AddCrashCounts(const CrashCounts& from, CrashCounts* to) {
  for (const auto& [key, count] : from) {
    int& total = (*to)[key];
    const long long sum = static_cast<long long>(total) + count;
    if (sum > std::numeric_limits<int>::max())
      total = std::numeric_limits<int>::max();
    else if (sum < std::numeric_limits<int>::min())
      total = std::numeric_limits<int>::min();
    else
      total = static_cast<int>(sum);
  }
}

bool MergeCrashCounts(const std::string* existing, const CrashCounts& counts,
                      std::string* merged) {
  CrashCounts totals;
  if (existing) {
    std::unique_ptr<base::Value> root = base::JSONReader::Read(*existing);
    const base::DictionaryValue* dictionary = nullptr;
    if (!root || !root->GetAsDictionary(&dictionary)) return false;
    for (base::DictionaryValue::Iterator it(*dictionary); !it.IsAtEnd();
         it.Advance()) {
      int count;
      if (it.value().GetAsInteger(&count)) totals[it.key()] = count;
    }
  }
  AddCrashCounts(counts, &totals);
  base::DictionaryValue result;
  for (const auto& [key, count] : totals)
    result.SetIntegerWithoutPathExpansion(key, count);
  return base::JSONWriter::Write(result, merged);
}

}  // namespace crash_reporter
