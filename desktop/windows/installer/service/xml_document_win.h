// XmlDocument: one MSXML 3.0 DOM document and a cursor on one of its nodes,
// through which the install log and the installation status are read and
// written (see XmlCursor for the cursor's rules).
//
// COM must be initialised on the calling thread. Names, attribute values
// and texts are UTF-8 at this interface and UTF-16 inside the document.
// Every operation returns false (or kXmlMoveFailed) when a COM call fails;
// nothing is logged here. A COM string that cannot be allocated is fatal.
//
// Files are read into memory by the wrapper and handed to MSXML as bytes,
// so a path is never taken for a URL ("#" and "%" in folder names stay
// plain characters) and nothing but the named file is ever opened. The
// parser refuses DTDs (where the installed MSXML knows the property), so a
// file cannot make it expand entities without bound, and a document that
// still carries one is refused after loading.
//
// Saving walks the DOM and writes the fixed format of XmlTextWriter, which
// Windows and Wine produce byte for byte alike (the MSXML writer does not:
// its indentation differs between them).

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_DOCUMENT_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_DOCUMENT_WIN_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/xml_cursor.h"

namespace installer {

class XmlDocument : public XmlCursor {
 public:
  // Files larger than this are not loaded.
  static constexpr size_t kMaxFileSize = 32 * 1024 * 1024;

  XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;
  // Releases the document and the current node.
  ~XmlDocument() override;

  // A new, empty document (asynchronous loading, validation and external
  // resolution off); the cursor is on the document node.
  bool Create();
  // Create(), then parses the file's bytes. On success the cursor is on the
  // document node. False when the file is missing, larger than
  // kMaxFileSize, not well-formed XML or has a document type declaration.
  bool Load(const base::FilePath& path);
  // The same for bytes in memory.
  bool LoadFromBytes(const std::string& bytes);

  // XmlCursor.
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

  // The whole document in the saved format of XmlTextWriter.
  bool SaveToString(std::string* out);

 private:
  struct Impl;

  std::unique_ptr<Impl> impl_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_XML_DOCUMENT_WIN_H_
