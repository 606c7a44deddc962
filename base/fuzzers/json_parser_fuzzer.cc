// Parses untrusted JSON. Byte 0 chooses the parser options; the rest is the
// document, in an exactly sized buffer so that the sanitizers catch any read
// past it. A failure must come with a real error code and message; a success
// must write and read back to an equal tree.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int options = data[0] & 3;
  const size_t length = size - 1;
  std::unique_ptr<char[]> text(new char[length ? length : 1]);
  memcpy(text.get(), data + 1, length);

  int code = -1;
  std::string message;
  std::unique_ptr<base::Value> root = base::JSONReader::ReadAndReturnError(
      base::StringPiece(text.get(), length), options, &code, &message);
  if (!root) {
    if (code <= base::JSONReader::JSON_NO_ERROR ||
        code >= base::JSONReader::JSON_PARSE_ERROR_COUNT || message.empty())
      abort();
    return 0;
  }

  for (int write_options : {0, int{base::JSONWriter::OPTIONS_PRETTY_PRINT}}) {
    std::string json;
    if (!base::JSONWriter::WriteWithOptions(*root, write_options, &json))
      abort();
    std::unique_ptr<base::Value> back = base::JSONReader::Read(json);
    if (!back || !root->Equals(back.get())) abort();
  }
  return 0;
}
