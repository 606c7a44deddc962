// ResponseWriter: where a WinInetDownloader puts the body of a response.
//
// The downloader owns its writer from Start on and calls it on the thread
// that started the transfer: Write for each block in order, Rewind when the
// body starts over (a server that ignored the Range of a resumed request,
// or answered it from the wrong offset), and Close once when the transfer
// ends.

#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_WININET_RESPONSE_WRITER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_WININET_RESPONSE_WRITER_H_

#include <stdint.h>

#include <string>

#if defined(_WIN32)
#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"
#endif

namespace installer {

// Accepts and drops everything: the statistics sender discards the reply.
class ResponseWriter {
 public:
  ResponseWriter() = default;
  ResponseWriter(const ResponseWriter&) = delete;
  ResponseWriter& operator=(const ResponseWriter&) = delete;
  virtual ~ResponseWriter();

  // False when the bytes could not be kept; the transfer then fails.
  virtual bool Write(const void* data, uint32_t size);
  // Drops everything written so far. False when that fails; the transfer
  // then fails.
  virtual bool Rewind();
  virtual void Close();
};

// Appends the body to a string of the caller's, which it empties first.
class StringResponseWriter : public ResponseWriter {
 public:
  // |target| must outlive the writer.
  explicit StringResponseWriter(std::string* target);
  ~StringResponseWriter() override;

  bool Write(const void* data, uint32_t size) override;
  bool Rewind() override;

 private:
  std::string* const target_;
};

#if defined(_WIN32)
// Writes the body to a file, created anew by Open.
class FileResponseWriter : public ResponseWriter {
 public:
  FileResponseWriter();
  ~FileResponseWriter() override;

  // Creates (or replaces) the file for writing, unshared. False, logged,
  // when it cannot; Write then refuses everything.
  bool Open(const base::FilePath& path);

  // One WriteFile of all bytes; false, logged, unless all were written.
  bool Write(const void* data, uint32_t size) override;
  // Empties the file and writes from its start again.
  bool Rewind() override;
  // Closes the file; later writes are refused.
  void Close() override;

 private:
  base::win::ScopedHandle file_;
};
#endif

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_WININET_RESPONSE_WRITER_H_
