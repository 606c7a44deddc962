// The self-checking file contents that the interrupted-write test and its
// writer process agree on: a header with a generation and a size, a body
// whose bytes depend on both, and a trailer. A truncated or mixed file
// fails the check.

#ifndef BASE_FILES_IMPORTANT_FILE_WRITER_TEST_CONTENTS_H_
#define BASE_FILES_IMPORTANT_FILE_WRITER_TEST_CONTENTS_H_

#include <stdint.h>
#include <stdio.h>

#include <string>

namespace base {
namespace test {

inline std::string MakeWriterTestContents(uint32_t generation, size_t size) {
  char header[64];
  snprintf(header, sizeof(header), "IFW gen=%08u size=%08zu\n", generation,
           size);
  std::string contents = header;
  contents.reserve(contents.size() + size + 32);
  for (size_t i = 0; i < size; ++i)
    contents.push_back(static_cast<char>('a' + (generation + i) % 26));
  char trailer[32];
  snprintf(trailer, sizeof(trailer), "\nEND %08u\n", generation);
  contents += trailer;
  return contents;
}

// True when |contents| is exactly what MakeWriterTestContents made for the
// generation named in its header; that generation goes to |*generation|.
inline bool CheckWriterTestContents(const std::string& contents,
                                    uint32_t* generation) {
  unsigned gen = 0;
  size_t size = 0;
  if (sscanf(contents.c_str(), "IFW gen=%08u size=%08zu\n", &gen, &size) != 2)
    return false;
  if (contents != MakeWriterTestContents(gen, size)) return false;
  *generation = gen;
  return true;
}

}  // namespace test
}  // namespace base

#endif  // BASE_FILES_IMPORTANT_FILE_WRITER_TEST_CONTENTS_H_
