// XmlTextWriter: the bytes of a saved XML document, written from a walk over
// its nodes.
//
// The format is fixed, whatever produced the document: the first line is
// <?xml version="1.0"?> (no encoding: the text is UTF-8), each nesting level
// is indented by one space, lines end with a line feed alone, and the text
// ends with a line feed. An element without content is written as <a/>, an
// element with text only on one line (<a>text</a>), any other element with
// each child on a line of its own and its end tag on a line of its own.
// Tabs and carriage returns inside texts, and line feeds inside attribute
// values, are written as character references so that they read back
// unchanged.
//
// Callers feed the nodes in document order; Finish() fails when a text holds
// a character that XML cannot carry (a control character other than tab,
// line feed and carriage return, or invalid UTF-8), so that no document is
// saved that could not be read back.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_TEXT_WRITER_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_TEXT_WRITER_H_

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace installer {

// True when |text| holds only blanks, tabs, line feeds and carriage returns
// (or nothing). Walkers leave out such texts among child elements: they are
// the indentation of a loaded file, which the writer makes anew.
bool IsXmlWhitespace(base::StringPiece text);

// True when XML can carry every character of |text|: valid UTF-8 without
// control characters other than tab, line feed and carriage return, and
// without U+FFFE and U+FFFF.
bool IsWritableXmlText(base::StringPiece text);

// True for a name that |text| rules allow and that does not break the
// markup around it (no blanks or markup characters).
bool IsWritableXmlName(base::StringPiece name);

class XmlTextWriter {
 public:
  XmlTextWriter();
  XmlTextWriter(const XmlTextWriter&) = delete;
  XmlTextWriter& operator=(const XmlTextWriter&) = delete;
  ~XmlTextWriter();

  void StartElement(base::StringPiece name);
  // Only between StartElement() and the element's first content.
  void AddAttribute(base::StringPiece name, base::StringPiece value);
  void AddText(base::StringPiece text);
  void AddComment(base::StringPiece text);
  void AddProcessingInstruction(base::StringPiece target,
                                base::StringPiece data);
  void EndElement();

  // The whole text. False when a text could not be written, an attribute
  // came after content, or an element is still open.
  bool Finish(std::string* out);

 private:
  enum class Content { kNone, kText, kBlock };
  struct OpenElement {
    std::string name;
    Content content = Content::kNone;
  };

  // Ends the open start tag, if any, before content of |kind| and starts
  // the line for a child of the current element.
  void BeginContent(Content kind);
  void Indent(size_t level);
  void AppendEscaped(base::StringPiece text, bool in_attribute);

  std::string body_;
  std::vector<OpenElement> open_;
  bool start_tag_open_ = false;
  bool top_level_written_ = false;
  bool failed_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_TEXT_WRITER_H_
