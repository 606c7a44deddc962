#include "desktop/windows/installer/wininet/wininet_response_writer.h"

#include "base/logging.h"

namespace installer {

ResponseWriter::~ResponseWriter() = default;

bool ResponseWriter::Write(const void* data, uint32_t size) { return true; }

bool ResponseWriter::Rewind() { return true; }

void ResponseWriter::Close() {}

StringResponseWriter::StringResponseWriter(std::string* target)
    : target_(target) {
  CHECK(target_);
  target_->clear();
}

StringResponseWriter::~StringResponseWriter() = default;

bool StringResponseWriter::Write(const void* data, uint32_t size) {
  target_->append(static_cast<const char*>(data), size);
  return true;
}

bool StringResponseWriter::Rewind() {
  target_->clear();
  return true;
}

}  // namespace installer
