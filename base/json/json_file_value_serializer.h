// A JSON file as the source of a value deserializer.

#ifndef BASE_JSON_JSON_FILE_VALUE_SERIALIZER_H_
#define BASE_JSON_JSON_FILE_VALUE_SERIALIZER_H_

#include <stddef.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/values.h"

namespace base {

// Reads a whole file and parses it. A file that cannot be read gives one of
// the codes below, which continue JSONReader's codes without overlap; a file
// that does not parse gives JSONReader's code and message.
class JSONFileValueDeserializer : public ValueDeserializer {
 public:
  enum JsonFileError {
    JSON_ACCESS_DENIED = 1000,
    JSON_CANNOT_READ_FILE,
    JSON_FILE_LOCKED,
    JSON_NO_SUCH_FILE,
  };

  static const char kAccessDenied[];
  static const char kCannotReadFile[];
  static const char kFileLocked[];
  static const char kNoSuchFile[];

  explicit JSONFileValueDeserializer(const FilePath& json_file_path);
  JSONFileValueDeserializer(const JSONFileValueDeserializer&) = delete;
  JSONFileValueDeserializer& operator=(const JSONFileValueDeserializer&) =
      delete;
  ~JSONFileValueDeserializer() override;

  std::unique_ptr<Value> Deserialize(int* error_code,
                                     std::string* error_message) override;

  // The message of a file error code; empty for any other code.
  static std::string GetErrorMessageForCode(int error_code);

  // The file error code for a read of |path| that failed with the system's
  // error number |system_error|: locked, access denied, and otherwise
  // whether the path exists.
  static int ClassifyReadError(int system_error, const FilePath& path);

  // Trailing commas are refused unless this is set.
  void set_allow_trailing_comma(bool new_value) {
    allow_trailing_comma_ = new_value;
  }

  // The size in bytes of the last file read successfully; 0 before that.
  size_t get_last_read_size() const { return last_read_size_; }

 private:
  // Reads the whole file into |contents|. On failure returns false with the
  // system's error number in |*system_error| (0 when the read was refused
  // without a system call, as for a path that references a parent).
  bool ReadFileContents(std::string* contents, int* system_error) const;

  const FilePath json_file_path_;
  bool allow_trailing_comma_ = false;
  size_t last_read_size_ = 0;
};

}  // namespace base

#endif  // BASE_JSON_JSON_FILE_VALUE_SERIALIZER_H_
