// Reads feature overrides from the "with-feature:<name>" switches of a
// command line.

#ifndef BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_
#define BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_

#include <vector>

#include "base/feature_list.h"

namespace base {

class CommandLine;

// Goes through the switches in the command line's own (sorted) order. The
// value "off" disables the feature, "on" or no value enables it; any other
// value (a non-ASCII value counts as none) is logged and ignored.
class CommandLineFeatureReader : public FeatureReader {
 public:
  // |command_line| is not owned and must outlive the reader.
  explicit CommandLineFeatureReader(const CommandLine& command_line);
  ~CommandLineFeatureReader() override;

  void Read(std::vector<FeatureEntry>* overrides) const override;

 private:
  const CommandLine& command_line_;
};

}  // namespace base

#endif  // BASE_FEATURES_COMMAND_LINE_FEATURE_READER_H_
