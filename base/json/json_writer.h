// Turns a value tree into UTF-8 JSON text.
//
// Everything written successfully with options 0 or OPTIONS_PRETTY_PRINT
// reads back through JSONReader to a value that Equals the original, except
// that invalid UTF-8 in strings and keys comes back as U+FFFD. A tree nested
// deeper than the reader accepts is never written successfully, so a file
// that could not be read back is never produced.

#ifndef BASE_JSON_JSON_WRITER_H_
#define BASE_JSON_JSON_WRITER_H_

#include <stddef.h>

#include <string>

namespace base {

class Value;

class JSONWriter {
 public:
  enum Options {
    // A value of the binary kind is skipped instead of failing the write.
    OPTIONS_OMIT_BINARY_VALUES = 1 << 0,
    // A double without a fractional part in the int64 range is written as an
    // integer ("3" instead of "3.0"); it then reads back as a number of
    // another type.
    OPTIONS_OMIT_DOUBLE_TYPE_PRESERVATION = 1 << 1,
    // Dictionaries one entry per line with three-space indents, CR LF line
    // ends and a final CR LF; lists stay on one line.
    OPTIONS_PRETTY_PRINT = 1 << 2,
  };

  JSONWriter(const JSONWriter&) = delete;
  JSONWriter& operator=(const JSONWriter&) = delete;

  // WriteWithOptions with options 0.
  static bool Write(const Value& node, std::string* json);

  // Replaces |*json| with the text of |node|. False when a value of the
  // binary kind was met without OPTIONS_OMIT_BINARY_VALUES (the rest of the
  // tree is still written), or when containers nest deeper than
  // JSONReader::kMaxContainerDepth (a container below that depth is left
  // out entirely). After a false result the text is not to be stored.
  // Strings with invalid UTF-8 are written with U+FFFD and do not make the
  // write fail.
  static bool WriteWithOptions(const Value& node, int options,
                               std::string* json);

 private:
  JSONWriter(int options, std::string* json);

  // Appends |node| at indentation |depth|; false when a binary value or a
  // container too deep could not be written somewhere below.
  bool BuildJSONString(const Value& node, size_t depth);
  bool WriteDictionary(const Value& node, size_t depth);
  bool WriteList(const Value& node, size_t depth);
  bool WriteContainer(const Value& node, size_t depth);
  void WriteDouble(double value);
  void IndentLine(size_t depth);

  const bool omit_binary_values_;
  const bool omit_double_type_preservation_;
  const bool pretty_print_;
  std::string* const json_string_;
  // Containers open around the value being written. Lists do not deepen
  // the indentation, so this differs from the indentation depth.
  int open_containers_ = 0;
};

}  // namespace base

#endif  // BASE_JSON_JSON_WRITER_H_
