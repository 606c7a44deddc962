// Reads a JSON file that belongs to someone else (an installation's
// preferences, a browser profile's "Local State") without ever changing it:
// unlike a preference store, a file that does not parse is left where it is
// and simply reads as missing. Portable; no state.

#ifndef DESKTOP_WINDOWS_INSTALLER_JSON_FILE_READER_H_
#define DESKTOP_WINDOWS_INSTALLER_JSON_FILE_READER_H_

#include <memory>

#include "base/files/file_path.h"
#include "base/values.h"

namespace installer {

// The file's top-level dictionary; null when the file is missing,
// unreadable, not JSON or not a dictionary.
std::unique_ptr<base::DictionaryValue> ReadJsonDictionaryFile(
    const base::FilePath& path);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_JSON_FILE_READER_H_
