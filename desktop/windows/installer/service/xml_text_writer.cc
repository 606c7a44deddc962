#include "desktop/windows/installer/service/xml_text_writer.h"

#include <stdint.h>

#include <string_view>

#include "base/strings/utf_string_conversion_utils.h"

namespace installer {

namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\"?>";

// The characters XML 1.0 can carry at all.
bool IsXmlCharacter(int32_t code_point) {
  if (code_point < 0x20)
    return code_point == 0x09 || code_point == 0x0A || code_point == 0x0D;
  return (code_point < 0xD800) ||
         (code_point >= 0xE000 && code_point <= 0xFFFD) ||
         (code_point >= 0x10000 && code_point <= 0x10FFFF);
}

}  // namespace

bool IsWritableXmlText(base::StringPiece text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char byte = static_cast<unsigned char>(text[i++]);
    int32_t code_point = byte < 0x80 ? byte
                                     : base::ReadUTF8CodePoint(
                                           text.data(), &i, text.size(), byte);
    if (code_point < 0 || !IsXmlCharacter(code_point)) return false;
  }
  return true;
}

bool IsWritableXmlName(base::StringPiece name) {
  if (name.empty() || !IsWritableXmlText(name)) return false;
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || c == '<' || c == '>' || c == '&' || c == '"' ||
        c == '\'' || c == '/' || c == '=' || c == '?' || c == '!')
      return false;
  }
  return true;
}

bool IsXmlWhitespace(base::StringPiece text) {
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return false;
  }
  return true;
}

XmlTextWriter::XmlTextWriter() = default;

XmlTextWriter::~XmlTextWriter() = default;

void XmlTextWriter::StartElement(base::StringPiece name) {
  if (!IsWritableXmlName(name)) failed_ = true;
  BeginContent(Content::kBlock);
  body_ += '<';
  body_.append(name.data(), name.size());
  open_.push_back({std::string(name.data(), name.size()), Content::kNone});
  start_tag_open_ = true;
}

void XmlTextWriter::AddAttribute(base::StringPiece name,
                                 base::StringPiece value) {
  if (!start_tag_open_ || !IsWritableXmlName(name)) failed_ = true;
  body_ += ' ';
  body_.append(name.data(), name.size());
  body_ += "=\"";
  AppendEscaped(value, true);
  body_ += '"';
}

void XmlTextWriter::AddText(base::StringPiece text) {
  // An empty text is no content: the element stays <a/>.
  if (text.empty()) return;
  BeginContent(Content::kText);
  AppendEscaped(text, false);
}

void XmlTextWriter::AddComment(base::StringPiece text) {
  std::string_view view(text.data(), text.size());
  if (!IsWritableXmlText(text) || view.find("--") != std::string_view::npos ||
      (!view.empty() && view.back() == '-'))
    failed_ = true;
  BeginContent(Content::kBlock);
  // Markup characters stand for themselves inside a comment.
  body_ += "<!--";
  body_.append(view);
  body_ += "-->";
}

void XmlTextWriter::AddProcessingInstruction(base::StringPiece target,
                                             base::StringPiece data) {
  std::string_view view(data.data(), data.size());
  if (!IsWritableXmlName(target) || !IsWritableXmlText(data) ||
      view.find("?>") != std::string_view::npos)
    failed_ = true;
  BeginContent(Content::kBlock);
  body_ += "<?";
  body_.append(target.data(), target.size());
  if (!view.empty()) {
    body_ += ' ';
    body_.append(view);
  }
  body_ += "?>";
}

void XmlTextWriter::EndElement() {
  if (open_.empty()) {
    failed_ = true;
    return;
  }
  const OpenElement& element = open_.back();
  if (start_tag_open_) {
    body_ += "/>";
    start_tag_open_ = false;
  } else {
    if (element.content == Content::kBlock) {
      body_ += '\n';
      Indent(open_.size() - 1);
    }
    body_ += "</";
    body_ += element.name;
    body_ += '>';
  }
  open_.pop_back();
}

bool XmlTextWriter::Finish(std::string* out) {
  if (failed_ || !open_.empty()) return false;
  out->assign(kDeclaration);
  *out += '\n';
  *out += body_;
  *out += '\n';
  return true;
}

void XmlTextWriter::BeginContent(Content kind) {
  if (open_.empty()) {
    // Top-level nodes (the root element, comments around it) each start a
    // line of their own.
    if (top_level_written_) body_ += '\n';
    top_level_written_ = true;
    return;
  }
  OpenElement& parent = open_.back();
  if (start_tag_open_) {
    body_ += '>';
    start_tag_open_ = false;
  }
  if (kind == Content::kText && parent.content != Content::kBlock) {
    parent.content = Content::kText;
    return;
  }
  parent.content = Content::kBlock;
  body_ += '\n';
  Indent(open_.size());
}

void XmlTextWriter::Indent(size_t level) { body_.append(level, ' '); }

void XmlTextWriter::AppendEscaped(base::StringPiece text, bool in_attribute) {
  if (!IsWritableXmlText(text)) failed_ = true;
  for (char c : text) {
    switch (c) {
      case '&':
        body_ += "&amp;";
        break;
      case '<':
        body_ += "&lt;";
        break;
      case '>':
        body_ += "&gt;";
        break;
      case '"':
        body_ += in_attribute ? "&quot;" : "\"";
        break;
      case '\t':
        body_ += "&#9;";
        break;
      case '\r':
        body_ += "&#13;";
        break;
      case '\n':
        // A parser turns a raw line feed inside an attribute into a blank.
        body_ += in_attribute ? "&#10;" : "\n";
        break;
      default:
        body_ += c;
    }
  }
}

}  // namespace installer
