// XmlTree: an XML document held in memory, with the same cursor as
// XmlDocument and the same saved bytes (XmlTextWriter).
//
// It stands in for MSXML where there is none: the portable tests of the
// install log and its fuzzer build documents through it. It has no parser;
// documents are built through the cursor. One thread at a time.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_TREE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_TREE_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "desktop/windows/installer/service/xml_cursor.h"

namespace installer {

class XmlTree : public XmlCursor {
 public:
  // An empty document; the cursor is on the document node.
  XmlTree();
  XmlTree(const XmlTree&) = delete;
  XmlTree& operator=(const XmlTree&) = delete;
  ~XmlTree() override;

  // XmlCursor. As in MSXML, the document takes one element only and no
  // text, and the document node's name is "#document".
  XmlMoveResult MoveToFirstChild() override;
  XmlMoveResult MoveToFollowingSibling() override;
  XmlMoveResult MoveToParent() override;
  bool GetName(std::string* out) override;
  bool GetText(std::string* out) override;
  bool GetAttribute(const std::string& name, std::string* out) override;
  bool AddChildElement(const std::string& name) override;
  bool CloseElement() override;
  bool SetAttribute(const std::string& name, const std::string& value) override;
  bool SetText(const std::string& text) override;

  // Append a comment or a text node under the current node, which stays
  // current; the document takes comments only. Unlike SetText(), any bytes
  // are taken, so that readers can be given what no file could hold.
  bool AddComment(const std::string& text);
  bool AddTextNode(const std::string& text);
  // Makes the document node current.
  void MoveToDocument();

  // The saved bytes (see XmlTextWriter); false when the writer refuses.
  bool SaveToString(std::string* out) const;

 private:
  struct Node;

  XmlMoveResult MoveToElementFrom(Node* parent, size_t first_index);

  std::unique_ptr<Node> document_;
  Node* current_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_TREE_H_
