// The multipart/form-data body of the text-log upload, built whole in
// memory: field-name checks, a boundary that occurs nowhere in the parts,
// and the exact bytes.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_FORM_DATA_BODY_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_FORM_DATA_BODY_H_

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "base/strings/string_piece.h"

namespace crash_reporter {

// One file part, already read: field name, file name as sent (the file's
// base name), content. All UTF-8.
struct FormDataFile {
  std::string field_name;
  std::string file_name;
  std::string content;
};

// (field name, value) in the order they are sent; UTF-8.
using FormDataFields = std::vector<std::pair<std::string, std::string>>;

// A name that can stand between double quotes in a header: not empty, only
// characters from 32 to 127, and no '"'.
bool IsValidFormFieldName(base::StringPiece16 name);

// 27 '-' and 16 upper-case hexadecimal digits from |draw_random|, drawn
// again while the boundary occurs in any of |parts|.
using RandomDraw = uint64_t (*)();
std::string ChooseFormDataBoundary(const std::vector<base::StringPiece>& parts,
                                   RandomDraw draw_random);

// The body: each field, then each file, then the closing boundary.
std::string BuildFormDataBody(const std::string& boundary,
                              const FormDataFields& fields,
                              const std::vector<FormDataFile>& files);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_FORM_DATA_BODY_H_
