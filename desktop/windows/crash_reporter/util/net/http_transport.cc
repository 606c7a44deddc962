#include "desktop/windows/crash_reporter/util/net/http_transport.h"

#include <utility>

#include "desktop/windows/crash_reporter/util/net/http_body.h"

namespace crash_reporter {

HTTPTransport::HTTPTransport() = default;

HTTPTransport::~HTTPTransport() = default;

void HTTPTransport::SetMethod(const std::string& method) { method_ = method; }

void HTTPTransport::SetURL(const std::string& url) { url_ = url; }

void HTTPTransport::SetHeader(const std::string& name,
                              const std::string& value) {
  headers_[name] = value;
}

void HTTPTransport::SetBodyStream(std::unique_ptr<HTTPBodyStream> stream) {
  body_stream_ = std::move(stream);
}

void HTTPTransport::SetTimeout(double seconds) { timeout_ = seconds; }

}  // namespace crash_reporter
