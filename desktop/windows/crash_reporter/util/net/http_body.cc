#include "desktop/windows/crash_reporter/util/net/http_body.h"

#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "base/logging.h"

namespace crash_reporter {

StringHTTPBodyStream::StringHTTPBodyStream(std::string data)
    : data_(std::move(data)) {}

StringHTTPBodyStream::~StringHTTPBodyStream() = default;

int64_t StringHTTPBodyStream::GetBytesBuffer(uint8_t* buffer,
                                             uint64_t max_len) {
  const size_t count = static_cast<size_t>(
      std::min<uint64_t>(max_len, data_.size() - position_));
  if (count == 0) return 0;
  memcpy(buffer, data_.data() + position_, count);
  position_ += count;
  return static_cast<int64_t>(count);
}

FileReaderHTTPBodyStream::FileReaderHTTPBodyStream(const base::FilePath& path)
    : path_(path), file_(InvalidFileHandle()) {}

FileReaderHTTPBodyStream::~FileReaderHTTPBodyStream() {
  if (state_ == State::kReading) CloseFileLogged(file_);
}

int64_t FileReaderHTTPBodyStream::GetBytesBuffer(uint8_t* buffer,
                                                 uint64_t max_len) {
  if (state_ == State::kNotOpened) {
    file_ = OpenFileForRead(path_);
    state_ = IsValidFileHandle(file_) ? State::kReading : State::kOpenFailed;
  }
  if (state_ == State::kOpenFailed) return -1;
  if (state_ == State::kAtEnd) return 0;

  // One read never asks for more than 32 bits can count.
  const size_t wanted = static_cast<size_t>(
      std::min<uint64_t>(max_len, std::numeric_limits<uint32_t>::max()));
  const FileOperationResult read = ReadFromFile(file_, buffer, wanted);
  if (read < 0) {
    PLOG(ERROR) << "read";
    return read;
  }
  if (read == 0) {
    CloseFileChecked(file_);
    file_ = InvalidFileHandle();
    state_ = State::kAtEnd;
  }
  return read;
}

CompositeHTTPBodyStream::CompositeHTTPBodyStream(
    std::vector<std::unique_ptr<HTTPBodyStream>> parts)
    : parts_(std::move(parts)) {}

CompositeHTTPBodyStream::~CompositeHTTPBodyStream() = default;

int64_t CompositeHTTPBodyStream::GetBytesBuffer(uint8_t* buffer,
                                                uint64_t max_len) {
  const uint64_t capacity = std::min<uint64_t>(
      max_len, static_cast<uint64_t>(std::numeric_limits<int64_t>::max()));
  uint64_t placed = 0;
  while (placed < capacity && current_ < parts_.size()) {
    const int64_t count =
        parts_[current_]->GetBytesBuffer(buffer + placed, capacity - placed);
    if (count < 0) return count;
    if (count == 0)
      ++current_;
    else
      placed += static_cast<uint64_t>(count);
  }
  return static_cast<int64_t>(placed);
}

GzipBodyStream::GzipBodyStream(std::unique_ptr<HTTPBodyStream> source)
    : source_(std::move(source)), flush_(Z_NO_FLUSH) {}

GzipBodyStream::~GzipBodyStream() {
  if (active_) deflateEnd(zlib_.get());
}

bool GzipBodyStream::Init() {
  if (active_) return true;
  input_ = std::make_unique<uint8_t[]>(kInputBufferSize);
  zlib_ = std::make_unique<z_stream_s>();
  memset(zlib_.get(), 0, sizeof(z_stream_s));
  // Window bits 15 + 16: a gzip wrapper around a 32 KiB window.
  const int result =
      deflateInit2(zlib_.get(), 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  if (result != Z_OK) {
    LOG(ERROR) << "deflateInit2: " << result;
    return false;
  }
  active_ = true;
  return true;
}

int64_t GzipBodyStream::GetBytesBuffer(uint8_t* buffer, uint64_t max_len) {
  if (!active_) return 0;
  // zlib counts its output in 32 bits.
  const uInt capacity = static_cast<uInt>(
      std::min<uint64_t>(max_len, std::numeric_limits<uInt>::max()));
  if (capacity == 0) return 0;
  zlib_->next_out = buffer;
  zlib_->avail_out = capacity;

  for (;;) {
    if (zlib_->avail_in == 0 && flush_ != Z_FINISH) {
      const int64_t read =
          source_->GetBytesBuffer(input_.get(), kInputBufferSize);
      if (read < 0) return read;
      if (read == 0) flush_ = Z_FINISH;
      zlib_->next_in = input_.get();
      zlib_->avail_in = static_cast<uInt>(read);
    }
    const int result = deflate(zlib_.get(), flush_);
    if (result == Z_STREAM_END) break;
    if (result != Z_OK) {
      LOG(ERROR) << "deflate: " << result;
      return -1;
    }
    if (zlib_->avail_out == 0) return capacity;
  }

  const int64_t produced = capacity - zlib_->avail_out;
  deflateEnd(zlib_.get());
  active_ = false;
  return produced;
}

}  // namespace crash_reporter
