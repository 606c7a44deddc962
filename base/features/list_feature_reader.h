// Reads feature overrides from a stored list of "name@state" strings.

#ifndef BASE_FEATURES_LIST_FEATURE_READER_H_
#define BASE_FEATURES_LIST_FEATURE_READER_H_

#include <vector>

#include "base/feature_list.h"

namespace base {

class ListValue;

// Each string element is a feature name, "@" and a number, with white space
// allowed around both: 1 enables the feature, 2 disables it. Elements that
// are not strings, or not of that form, are skipped.
class ListFeatureReader : public FeatureReader {
 public:
  // |list| is not owned and must outlive the reader.
  explicit ListFeatureReader(const ListValue& list);
  ~ListFeatureReader() override;

  void Read(std::vector<FeatureEntry>* overrides) const override;

 private:
  const ListValue& list_;
};

}  // namespace base

#endif  // BASE_FEATURES_LIST_FEATURE_READER_H_
