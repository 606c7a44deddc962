#include "desktop/windows/crash_reporter/util/test/crash_upload_test_server_win.h"

#include <memory>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"

namespace crash_reporter {
namespace test {

namespace {

std::u16string Quote(const std::string& text) {
  return u"\"" + base::UTF8ToUTF16(text) + u"\"";
}

std::string ReadStateFile(const base::FilePath& folder,
                          const base::DictionaryValue& entry,
                          base::StringPiece key) {
  std::string name;
  std::string contents;
  if (entry.GetString(key, &name))
    base::FileUtil::ReadFileToString(folder.AppendASCII(name), &contents);
  return contents;
}

RecordedRequest ToRecordedRequest(const base::FilePath& folder,
                                  const base::DictionaryValue& entry) {
  RecordedRequest request;
  entry.GetString("method", &request.method);
  entry.GetString("target", &request.target);
  const base::ListValue* headers = nullptr;
  if (entry.GetList("headers", &headers)) {
    for (size_t i = 0; i < headers->GetSize(); ++i) {
      const base::ListValue* header = nullptr;
      std::string name, value;
      if (headers->GetList(i, &header) && header->GetString(0, &name) &&
          header->GetString(1, &value)) {
        request.headers.emplace_back(name, value);
      }
    }
  }
  const base::DictionaryValue* query = nullptr;
  if (entry.GetDictionary("query", &query)) {
    for (base::DictionaryValue::Iterator it(*query); !it.IsAtEnd();
         it.Advance()) {
      const base::ListValue* values = nullptr;
      if (!it.value().GetAsList(&values)) continue;
      std::vector<std::string>& decoded = request.query[it.key()];
      for (size_t i = 0; i < values->GetSize(); ++i) {
        std::string value;
        if (values->GetString(i, &value)) decoded.push_back(value);
      }
    }
  }
  request.body = ReadStateFile(folder, entry, "body_file");
  request.gzip_decoded = entry.HasKey("decoded_body_file");
  request.decoded_body = ReadStateFile(folder, entry, "decoded_body_file");

  const base::DictionaryValue* form = nullptr;
  if (!entry.GetDictionary("form", &form)) return request;
  request.is_form = true;
  const base::ListValue* list = nullptr;
  if (form->GetList("defects", &list)) {
    for (size_t i = 0; i < list->GetSize(); ++i) {
      std::string defect;
      if (list->GetString(i, &defect)) request.form_defects.push_back(defect);
    }
  }
  if (form->GetList("parts", &list)) {
    for (size_t i = 0; i < list->GetSize(); ++i) {
      const base::DictionaryValue* part_entry = nullptr;
      if (!list->GetDictionary(i, &part_entry)) continue;
      RecordedPart part;
      part_entry->GetString("name", &part.name);
      part.has_filename = part_entry->GetString("filename", &part.filename);
      part_entry->GetString("content_type", &part.content_type);
      part.data = ReadStateFile(folder, *part_entry, "data_file");
      request.parts.push_back(part);
    }
  }
  return request;
}

}  // namespace

const std::string* RecordedRequest::Header(base::StringPiece name) const {
  for (const auto& [header, value] : headers) {
    if (base::EqualsCaseInsensitiveASCII(header, name)) return &value;
  }
  return nullptr;
}

CrashUploadTestServer::CrashUploadTestServer()
    : server_(VELNA_CRASH_UPLOAD_TEST_SERVER) {}

CrashUploadTestServer::~CrashUploadTestServer() = default;

bool CrashUploadTestServer::Start(const std::vector<std::string>& answers) {
  std::u16string arguments;
  for (const std::string& answer : answers)
    arguments += u" --answer " + Quote(answer);
  return server_.Start(arguments);
}

std::u16string CrashUploadTestServer::Url(
    base::StringPiece path_and_query) const {
  return base::UTF8ToUTF16(
      "http://127.0.0.1:" + base::IntToString(server_.port()) +
      path_and_query.as_string());
}

std::vector<RecordedRequest> CrashUploadTestServer::Requests() const {
  std::vector<RecordedRequest> requests;
  std::string json;
  if (!base::FileUtil::ReadFileToString(
          server_.state_dir().AppendASCII("requests.json"), &json)) {
    return requests;
  }
  std::unique_ptr<base::Value> value = base::JSONReader::Read(json);
  const base::ListValue* list = nullptr;
  if (!value || !value->GetAsList(&list)) return requests;
  for (size_t i = 0; i < list->GetSize(); ++i) {
    const base::DictionaryValue* entry = nullptr;
    if (list->GetDictionary(i, &entry))
      requests.push_back(ToRecordedRequest(server_.state_dir(), *entry));
  }
  return requests;
}

}  // namespace test
}  // namespace crash_reporter
