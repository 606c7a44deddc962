#include "desktop/windows/installer/service/xml_document_win.h"

#include <windows.h>
// After windows.h, whose types they use.
#include <msxml2.h>
#include <oleauto.h>
#include <string.h>
#include <wrl/client.h>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_bstr.h"
#include "base/win/scoped_variant.h"
#include "desktop/windows/installer/service/msxml3_ids_win.h"
#include "desktop/windows/installer/service/xml_text_writer.h"

namespace installer {

namespace {

using Microsoft::WRL::ComPtr;

// Our documents are four levels deep; the limit keeps the recursive walk
// and the parser far from the end of the stack.
constexpr int kMaxDepth = 256;

// A COM string holding UTF-8 text, for one call's argument.
class Utf8Bstr {
 public:
  explicit Utf8Bstr(const std::string& utf8) {
    std::u16string wide = base::UTF8ToUTF16(utf8);
    bstr_ = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()),
                              static_cast<UINT>(wide.size()));
    CHECK(bstr_);
  }
  Utf8Bstr(const Utf8Bstr&) = delete;
  Utf8Bstr& operator=(const Utf8Bstr&) = delete;
  ~Utf8Bstr() { SysFreeString(bstr_); }

  BSTR get() const { return bstr_; }
  // Hands the string to a VARIANT that frees it.
  BSTR Release() {
    BSTR bstr = bstr_;
    bstr_ = nullptr;
    return bstr;
  }

 private:
  BSTR bstr_;
};

std::string FromBstr(BSTR bstr) {
  return base::UTF16ToUTF8(base::StringPiece16(
      reinterpret_cast<const char16_t*>(bstr), SysStringLen(bstr)));
}

// A VARIANT as text; false for a type that does not convert.
bool VariantToUtf8(const VARIANT& value, std::string* out) {
  if (value.vt == VT_BSTR) {
    *out = FromBstr(value.bstrVal);
    return true;
  }
  base::win::ScopedVariant text;
  if (FAILED(VariantChangeType(text.Receive(), const_cast<VARIANT*>(&value), 0,
                               VT_BSTR)))
    return false;
  *out = FromBstr(text.Get().bstrVal);
  return true;
}

bool NodeType(IXMLDOMNode* node, DOMNodeType* type) {
  return SUCCEEDED(node->get_nodeType(type));
}

bool NodeName(IXMLDOMNode* node, std::string* out) {
  base::win::ScopedBstr name;
  if (FAILED(node->get_nodeName(name.Receive()))) return false;
  *out = FromBstr(name.Get());
  return true;
}

bool NodeValue(IXMLDOMNode* node, std::string* out) {
  base::win::ScopedVariant value;
  if (FAILED(node->get_nodeValue(value.Receive()))) return false;
  if (value.type() == VT_NULL) {
    out->clear();
    return true;
  }
  return VariantToUtf8(value.Get(), out);
}

bool WriteNode(IXMLDOMNode* node, int depth, XmlTextWriter* writer);

bool WriteChildren(IXMLDOMNode* node, int depth, XmlTextWriter* writer) {
  // Texts among other nodes that are only white space are indentation.
  bool mixed = false;
  ComPtr<IXMLDOMNode> child;
  if (FAILED(node->get_firstChild(&child))) return false;
  for (ComPtr<IXMLDOMNode> it = child; it;) {
    DOMNodeType type;
    if (!NodeType(it.Get(), &type)) return false;
    mixed |= type != NODE_TEXT && type != NODE_CDATA_SECTION;
    ComPtr<IXMLDOMNode> next;
    if (FAILED(it->get_nextSibling(&next))) return false;
    it = next;
  }
  for (ComPtr<IXMLDOMNode> it = child; it;) {
    DOMNodeType type;
    std::string text;
    if (!NodeType(it.Get(), &type)) return false;
    if (mixed && type == NODE_TEXT) {
      if (!NodeValue(it.Get(), &text)) return false;
      if (IsXmlWhitespace(text)) type = NODE_INVALID;
    }
    if (type != NODE_INVALID && !WriteNode(it.Get(), depth + 1, writer))
      return false;
    ComPtr<IXMLDOMNode> next;
    if (FAILED(it->get_nextSibling(&next))) return false;
    it = next;
  }
  return true;
}

bool WriteAttributes(IXMLDOMNode* element, XmlTextWriter* writer) {
  ComPtr<IXMLDOMNamedNodeMap> attributes;
  if (FAILED(element->get_attributes(&attributes)) || !attributes) return false;
  long count = 0;
  if (FAILED(attributes->get_length(&count))) return false;
  for (long i = 0; i < count; ++i) {
    ComPtr<IXMLDOMNode> attribute;
    std::string name;
    std::string value;
    if (FAILED(attributes->get_item(i, &attribute)) || !attribute ||
        !NodeName(attribute.Get(), &name) ||
        !NodeValue(attribute.Get(), &value))
      return false;
    writer->AddAttribute(name, value);
  }
  return true;
}

bool WriteNode(IXMLDOMNode* node, int depth, XmlTextWriter* writer) {
  if (depth > kMaxDepth) return false;
  DOMNodeType type;
  if (!NodeType(node, &type)) return false;
  std::string name;
  std::string value;
  switch (type) {
    case NODE_DOCUMENT:
    case NODE_ENTITY_REFERENCE:
      return WriteChildren(node, depth, writer);
    case NODE_ELEMENT:
      if (!NodeName(node, &name)) return false;
      writer->StartElement(name);
      if (!WriteAttributes(node, writer) || !WriteChildren(node, depth, writer))
        return false;
      writer->EndElement();
      return true;
    case NODE_TEXT:
    case NODE_CDATA_SECTION:
      if (!NodeValue(node, &value)) return false;
      writer->AddText(value);
      return true;
    case NODE_COMMENT:
      if (!NodeValue(node, &value)) return false;
      writer->AddComment(value);
      return true;
    case NODE_PROCESSING_INSTRUCTION:
      if (!NodeName(node, &name) || !NodeValue(node, &value)) return false;
      // The declaration is always written anew, without an encoding.
      if (name != "xml") writer->AddProcessingInstruction(name, value);
      return true;
    default:
      // Document types and the like: our documents never carry them.
      return true;
  }
}

// MSXML 3.0 takes these only from a later service pack on; without them the
// parser works as before, so a refusal is not an error.
void HardenParser(IXMLDOMDocument* document) {
  ComPtr<IXMLDOMDocument2> document2;
  if (FAILED(document->QueryInterface(
          kIidXmlDomDocument2,
          reinterpret_cast<void**>(document2.GetAddressOf()))))
    return;
  VARIANT prohibit;
  VariantInit(&prohibit);
  prohibit.vt = VT_BOOL;
  prohibit.boolVal = VARIANT_TRUE;
  document2->setProperty(Utf8Bstr("ProhibitDTD").get(), prohibit);
  VARIANT depth;
  VariantInit(&depth);
  depth.vt = VT_I4;
  depth.lVal = kMaxDepth;
  document2->setProperty(Utf8Bstr("MaxElementDepth").get(), depth);
}

}  // namespace

struct XmlDocument::Impl {
  ComPtr<IXMLDOMDocument> document;
  ComPtr<IXMLDOMNode> current;

  // Makes the document node current.
  bool ResetCursor() {
    current.Reset();
    return SUCCEEDED(document->QueryInterface(
        IID_IXMLDOMNode, reinterpret_cast<void**>(current.GetAddressOf())));
  }

  // From |node| on, the first element among it and its following siblings.
  XmlMoveResult MoveToElementFrom(ComPtr<IXMLDOMNode> node) {
    while (node) {
      DOMNodeType type;
      if (!NodeType(node.Get(), &type)) return kXmlMoveFailed;
      if (type == NODE_ELEMENT) {
        current = node;
        return kXmlMoved;
      }
      ComPtr<IXMLDOMNode> next;
      if (FAILED(node->get_nextSibling(&next))) return kXmlMoveFailed;
      node = next;
    }
    return kXmlNoElement;
  }

  // The parent when it is an element, else null; false when a call failed.
  bool ParentElement(ComPtr<IXMLDOMNode>* out) {
    ComPtr<IXMLDOMNode> parent;
    if (FAILED(current->get_parentNode(&parent))) return false;
    out->Reset();
    if (!parent) return true;
    DOMNodeType type;
    if (!NodeType(parent.Get(), &type)) return false;
    if (type == NODE_ELEMENT) *out = parent;
    return true;
  }

  bool CurrentElement(ComPtr<IXMLDOMElement>* out) {
    return current && SUCCEEDED(current->QueryInterface(
                          IID_IXMLDOMElement,
                          reinterpret_cast<void**>(out->GetAddressOf())));
  }
};

XmlDocument::XmlDocument() : impl_(std::make_unique<Impl>()) {}

XmlDocument::~XmlDocument() = default;

bool XmlDocument::Create() {
  impl_->current.Reset();
  impl_->document.Reset();
  ComPtr<IXMLDOMDocument> document;
  if (FAILED(
          CoCreateInstance(kClsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IXMLDOMDocument,
                           reinterpret_cast<void**>(document.GetAddressOf()))))
    return false;
  if (FAILED(document->put_async(VARIANT_FALSE)) ||
      FAILED(document->put_validateOnParse(VARIANT_FALSE)) ||
      FAILED(document->put_resolveExternals(VARIANT_FALSE)))
    return false;
  HardenParser(document.Get());
  impl_->document = document;
  return impl_->ResetCursor();
}

bool XmlDocument::Load(const base::FilePath& path) {
  std::string bytes;
  if (!base::FileUtil::ReadFileToStringWithMaxSize(path, &bytes, kMaxFileSize))
    return false;
  return LoadFromBytes(bytes);
}

bool XmlDocument::LoadFromBytes(const std::string& bytes) {
  if (!Create()) return false;
  // Bytes, not a string: the parser then reads the encoding from the text
  // itself (UTF-8 without a declaration), as it does for a file.
  SAFEARRAY* array =
      SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (!array) return false;
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data))) {
    SafeArrayDestroy(array);
    return false;
  }
  if (!bytes.empty()) memcpy(data, bytes.data(), bytes.size());
  SafeArrayUnaccessData(array);
  base::win::ScopedVariant source;
  VARIANT* input = source.Receive();
  input->vt = VT_ARRAY | VT_UI1;
  input->parray = array;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(impl_->document->load(*input, &loaded)) || loaded != VARIANT_TRUE)
    return false;
  // Where the parser did not refuse a DTD itself, the document is refused
  // here: none of ours carries one.
  ComPtr<IXMLDOMDocumentType> doctype;
  if (FAILED(impl_->document->get_doctype(&doctype)) || doctype) {
    impl_->document.Reset();
    impl_->current.Reset();
    return false;
  }
  return impl_->ResetCursor();
}

XmlMoveResult XmlDocument::MoveToFirstChild() {
  if (!impl_->current) return kXmlMoveFailed;
  ComPtr<IXMLDOMNode> child;
  if (FAILED(impl_->current->get_firstChild(&child))) return kXmlMoveFailed;
  return impl_->MoveToElementFrom(child);
}

XmlMoveResult XmlDocument::MoveToFollowingSibling() {
  if (!impl_->current) return kXmlMoveFailed;
  ComPtr<IXMLDOMNode> sibling;
  if (FAILED(impl_->current->get_nextSibling(&sibling))) return kXmlMoveFailed;
  return impl_->MoveToElementFrom(sibling);
}

XmlMoveResult XmlDocument::MoveToParent() {
  if (!impl_->current) return kXmlMoveFailed;
  ComPtr<IXMLDOMNode> parent;
  if (!impl_->ParentElement(&parent)) return kXmlMoveFailed;
  if (!parent) return kXmlNoElement;
  impl_->current = parent;
  return kXmlMoved;
}

bool XmlDocument::GetName(std::string* out) {
  return impl_->current && NodeName(impl_->current.Get(), out);
}

bool XmlDocument::GetText(std::string* out) {
  if (!impl_->current) return false;
  base::win::ScopedBstr text;
  if (FAILED(impl_->current->get_text(text.Receive()))) return false;
  *out = FromBstr(text.Get());
  return true;
}

bool XmlDocument::GetAttribute(const std::string& name, std::string* out) {
  ComPtr<IXMLDOMElement> element;
  if (!impl_->CurrentElement(&element)) return false;
  base::win::ScopedVariant value;
  // S_FALSE, with a null value, when the attribute is missing.
  if (element->getAttribute(Utf8Bstr(name).get(), value.Receive()) != S_OK ||
      value.type() == VT_NULL)
    return false;
  return VariantToUtf8(value.Get(), out);
}

bool XmlDocument::AddChildElement(const std::string& name) {
  if (!impl_->current || !IsWritableXmlName(name)) return false;
  ComPtr<IXMLDOMElement> element;
  if (FAILED(impl_->document->createElement(Utf8Bstr(name).get(), &element)) ||
      !element)
    return false;
  ComPtr<IXMLDOMNode> appended;
  if (FAILED(impl_->current->appendChild(element.Get(), &appended)) ||
      !appended)
    return false;
  impl_->current = appended;
  return true;
}

bool XmlDocument::CloseElement() { return MoveToParent() == kXmlMoved; }

bool XmlDocument::SetAttribute(const std::string& name,
                               const std::string& value) {
  ComPtr<IXMLDOMElement> element;
  if (!IsWritableXmlName(name) || !IsWritableXmlText(value) ||
      !impl_->CurrentElement(&element))
    return false;
  base::win::ScopedVariant text;
  VARIANT* input = text.Receive();
  input->vt = VT_BSTR;
  input->bstrVal = Utf8Bstr(value).Release();
  return SUCCEEDED(element->setAttribute(Utf8Bstr(name).get(), *input));
}

bool XmlDocument::SetText(const std::string& text) {
  return impl_->current && IsWritableXmlText(text) &&
         SUCCEEDED(impl_->current->put_text(Utf8Bstr(text).get()));
}

bool XmlDocument::SaveToString(std::string* out) {
  if (!impl_->document) return false;
  ComPtr<IXMLDOMNode> document_node;
  if (FAILED(impl_->document->QueryInterface(
          IID_IXMLDOMNode,
          reinterpret_cast<void**>(document_node.GetAddressOf()))))
    return false;
  XmlTextWriter writer;
  return WriteNode(document_node.Get(), 0, &writer) && writer.Finish(out);
}

}  // namespace installer
