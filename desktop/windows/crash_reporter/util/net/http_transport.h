// HTTPTransport: one synchronous HTTP request with a streamed body, for the
// minidump upload. Set the method, URL, headers and body, then
// ExecuteSynchronously on the thread that made the transport.
//
//   std::unique_ptr<HTTPTransport> transport = HTTPTransport::Create();
//   transport->SetURL("https://collector.example/submit");
//   transport->SetBodyStream(builder.GetBodyStream());
//   bool sent = transport->ExecuteSynchronously(nullptr);
//
// The Windows transport (WinHTTP) sends the URL's path with its query; it
// reads the whole body into memory before sending it.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_TRANSPORT_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_TRANSPORT_H_

#include <map>
#include <memory>
#include <string>

namespace crash_reporter {

class HTTPBodyStream;

class HTTPTransport {
 public:
  HTTPTransport(const HTTPTransport&) = delete;
  HTTPTransport& operator=(const HTTPTransport&) = delete;
  virtual ~HTTPTransport();

  // A new transport of the platform, with method "POST", no headers, no
  // body and a time limit of 15 seconds.
  static std::unique_ptr<HTTPTransport> Create();

  void SetMethod(const std::string& method);
  // UTF-8.
  void SetURL(const std::string& url);
  // Replaces an earlier value of the same name.
  void SetHeader(const std::string& name, const std::string& value);
  // Takes ownership; the previous body is deleted.
  void SetBodyStream(std::unique_ptr<HTTPBodyStream> stream);
  void SetTimeout(double seconds);

  // Sends the request and waits for the reply. True only for status 200;
  // then |response_body|, when given, holds the reply. Every failure is
  // logged; nothing is retried.
  virtual bool ExecuteSynchronously(std::string* response_body) = 0;

 protected:
  HTTPTransport();

  const std::string& url() const { return url_; }
  const std::string& method() const { return method_; }
  const std::map<std::string, std::string>& headers() const { return headers_; }
  HTTPBodyStream* body_stream() const { return body_stream_.get(); }
  double timeout() const { return timeout_; }

 private:
  std::string url_;
  std::string method_ = "POST";
  std::map<std::string, std::string> headers_;
  std::unique_ptr<HTTPBodyStream> body_stream_;
  double timeout_ = 15.0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_NET_HTTP_TRANSPORT_H_
