// ModuleInfoImpl: the ModuleInfo of a snapshot, made from what the module
// list gave (name, base, size) and from the module's file on disk.
//
// The portable half reads the file's bytes (ReadImage); the Windows half
// maps the file and falls back to the mapped file's name
// (module_info_impl_win.cc). A broken or missing image leaves the fields it
// would have given empty.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_IMPL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_IMPL_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/strings/string_piece.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/module_info.h"

namespace crash_reporter {

class ModuleInfoImpl : public ModuleInfo {
 public:
  // |name| is kept as UTF-8, cut to at most kModuleTextMaxLength bytes at a
  // character boundary.
  ModuleInfoImpl(base::StringPiece16 name, uint64_t base, uint32_t size);
  ModuleInfoImpl(const ModuleInfoImpl&) = delete;
  ModuleInfoImpl& operator=(const ModuleInfoImpl&) = delete;
  ~ModuleInfoImpl() override;

  // Reads the time stamp, the end of code and the version from the image
  // file's bytes, and the name too while it is empty (export directory,
  // then the version resource's original file name). Missing pieces are
  // logged under the module's name. False when the image has no valid
  // headers.
  bool ReadImage(const uint8_t* data, size_t size);

  // Windows: maps |file| (open for reading) and reads it with ReadImage;
  // while the name is still empty, takes the mapped file's base name.
  void ReadImageFile(base::win::Handle file);

  // ModuleInfo:
  std::string GetName() const override;
  uint64_t GetBaseAddress() const override;
  uint32_t GetSize() const override;
  uint64_t GetStartAddress() const override;
  uint64_t GetCodeEnd() const override;
  std::string GetVersion() const override;
  uint32_t GetTimestamp() const override;

 private:
  // The name for log lines: the module's name or "<unknown>".
  std::string LogName() const;
  void SetName(base::StringPiece name);

  std::string name_;
  std::string version_;
  uint32_t timestamp_ = 0;
  const uint64_t base_;
  const uint32_t size_;
  // Relative to |base_|.
  uint64_t code_end_ = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MODULE_INFO_IMPL_H_
