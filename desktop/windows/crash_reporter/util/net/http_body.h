// Request bodies that hand out their bytes piece by piece: a string, a file
// read on demand, a sequence of other bodies, and a gzip compressor over
// another body. The minidump upload chains them so that the multipart body
// is produced only while the transport reads it.
//
// A stream is used by one thread at a time. Each stream owns what it wraps.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_BODY_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_BODY_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/util/file/file_io.h"

struct z_stream_s;

namespace crash_reporter {

class HTTPBodyStream {
 public:
  virtual ~HTTPBodyStream() = default;

  // Writes the next bytes of the body into |buffer|, at most |max_len|: the
  // number written, 0 once the body is exhausted, negative on an error.
  virtual int64_t GetBytesBuffer(uint8_t* buffer, uint64_t max_len) = 0;
};

// The bytes of a string.
class StringHTTPBodyStream : public HTTPBodyStream {
 public:
  explicit StringHTTPBodyStream(std::string data);
  StringHTTPBodyStream(const StringHTTPBodyStream&) = delete;
  StringHTTPBodyStream& operator=(const StringHTTPBodyStream&) = delete;
  ~StringHTTPBodyStream() override;

  int64_t GetBytesBuffer(uint8_t* buffer, uint64_t max_len) override;

 private:
  const std::string data_;
  size_t position_ = 0;
};

// The contents of a file, opened on the first read. A file that cannot be
// opened gives -1 on that read and on every later one.
class FileReaderHTTPBodyStream : public HTTPBodyStream {
 public:
  explicit FileReaderHTTPBodyStream(const base::FilePath& path);
  FileReaderHTTPBodyStream(const FileReaderHTTPBodyStream&) = delete;
  FileReaderHTTPBodyStream& operator=(const FileReaderHTTPBodyStream&) = delete;
  ~FileReaderHTTPBodyStream() override;

  int64_t GetBytesBuffer(uint8_t* buffer, uint64_t max_len) override;

 private:
  enum class State { kNotOpened, kOpenFailed, kAtEnd, kReading };

  const base::FilePath path_;
  FileHandle file_;
  State state_ = State::kNotOpened;
};

// Its parts, one after the other. A part's error is returned at once.
class CompositeHTTPBodyStream : public HTTPBodyStream {
 public:
  explicit CompositeHTTPBodyStream(
      std::vector<std::unique_ptr<HTTPBodyStream>> parts);
  CompositeHTTPBodyStream(const CompositeHTTPBodyStream&) = delete;
  CompositeHTTPBodyStream& operator=(const CompositeHTTPBodyStream&) = delete;
  ~CompositeHTTPBodyStream() override;

  int64_t GetBytesBuffer(uint8_t* buffer, uint64_t max_len) override;

 private:
  std::vector<std::unique_ptr<HTTPBodyStream>> parts_;
  size_t current_ = 0;
};

// One gzip member (level 9) of the source's bytes, compressed as the caller
// reads; at most one 16 KiB block of input is held at a time. Init must
// succeed before the first read; an uninitialised stream reads as empty.
class GzipBodyStream : public HTTPBodyStream {
 public:
  explicit GzipBodyStream(std::unique_ptr<HTTPBodyStream> source);
  GzipBodyStream(const GzipBodyStream&) = delete;
  GzipBodyStream& operator=(const GzipBodyStream&) = delete;
  ~GzipBodyStream() override;

  // Prepares the compressor; false when zlib refuses.
  bool Init();

  // A negative result of the source is passed on unchanged; a compressor
  // error gives -1.
  int64_t GetBytesBuffer(uint8_t* buffer, uint64_t max_len) override;

 private:
  static constexpr size_t kInputBufferSize = 16384;

  std::unique_ptr<HTTPBodyStream> source_;
  std::unique_ptr<uint8_t[]> input_;
  std::unique_ptr<z_stream_s> zlib_;
  int flush_;
  bool active_ = false;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_BODY_H_
