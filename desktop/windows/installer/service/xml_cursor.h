// XmlCursor: the cursor through which the install log reads and writes an
// XML document, one current node at a time.
//
// Reading moves the cursor over element nodes only (text, comments and
// processing instructions are stepped over); writing appends child elements
// under the cursor and sets their attributes and text. Names, attribute
// values and texts are UTF-8. The writing operations refuse a name or text
// that XML cannot carry (see IsWritableXmlName and IsWritableXmlText), so
// that every MSXML version behaves alike and a built document always saves.
// XmlDocument (MSXML 3.0) is the Windows implementation; XmlTree keeps the
// same semantics in memory on every platform. One thread at a time.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_CURSOR_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_CURSOR_H_

#include <string>

namespace installer {

// Results of the three movements. On kXmlNoElement and kXmlMoveFailed the
// cursor stays where it was.
enum XmlMoveResult : int {
  kXmlMoved = 0,
  kXmlNoElement = 1,
  kXmlMoveFailed = 2,
};

class XmlCursor {
 public:
  virtual ~XmlCursor() = default;

  // To the first child element of the current node.
  virtual XmlMoveResult MoveToFirstChild() = 0;
  // To the next sibling element of the current node.
  virtual XmlMoveResult MoveToFollowingSibling() = 0;
  // To the parent of the current node when that parent is an element;
  // kXmlNoElement at the root element (whose parent is the document).
  virtual XmlMoveResult MoveToParent() = 0;

  // The current node's name.
  virtual bool GetName(std::string* out) = 0;
  // The text content of the current node and its descendants.
  virtual bool GetText(std::string* out) = 0;
  // False when the current node is not an element or has no such attribute.
  virtual bool GetAttribute(const std::string& name, std::string* out) = 0;

  // Appends a new element as the last child of the current node (the
  // document itself for the root element) and makes it current.
  virtual bool AddChildElement(const std::string& name) = 0;
  // Makes the parent current when it is an element; false, with the cursor
  // unchanged, at the root element.
  virtual bool CloseElement() = 0;
  // Sets (or replaces) an attribute of the current element.
  virtual bool SetAttribute(const std::string& name,
                            const std::string& value) = 0;
  // Replaces the content of the current node by one text.
  virtual bool SetText(const std::string& text) = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_CURSOR_H_
