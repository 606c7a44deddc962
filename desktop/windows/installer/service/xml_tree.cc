#include "desktop/windows/installer/service/xml_tree.h"

#include "desktop/windows/installer/service/xml_text_writer.h"

namespace installer {

struct XmlTree::Node {
  enum class Type { kDocument, kElement, kText, kComment };

  Node(Type node_type, std::string node_name, Node* node_parent, size_t index)
      : type(node_type),
        name(std::move(node_name)),
        parent(node_parent),
        index_in_parent(index) {}

  Node* Append(Type node_type, std::string node_name) {
    children.push_back(std::make_unique<Node>(node_type, std::move(node_name),
                                              this, children.size()));
    return children.back().get();
  }

  bool HasElementChild() const {
    for (const auto& child : children) {
      if (child->type == Type::kElement) return true;
    }
    return false;
  }

  void AppendText(std::string* out) const {
    if (type == Type::kText) out->append(value);
    if (type == Type::kComment) return;
    for (const auto& child : children) child->AppendText(out);
  }

  void Write(XmlTextWriter* writer) const {
    switch (type) {
      case Type::kText:
        writer->AddText(value);
        return;
      case Type::kComment:
        writer->AddComment(value);
        return;
      case Type::kElement:
        writer->StartElement(name);
        for (const auto& attribute : attributes)
          writer->AddAttribute(attribute.first, attribute.second);
        break;
      case Type::kDocument:
        break;
    }
    bool mixed = false;
    for (const auto& child : children) mixed |= child->type != Type::kText;
    for (const auto& child : children) {
      if (mixed && child->type == Type::kText && IsXmlWhitespace(child->value))
        continue;
      child->Write(writer);
    }
    if (type == Type::kElement) writer->EndElement();
  }

  Type type;
  std::string name;
  std::string value;
  std::vector<std::pair<std::string, std::string>> attributes;
  Node* parent;
  size_t index_in_parent;
  std::vector<std::unique_ptr<Node>> children;
};

XmlTree::XmlTree()
    : document_(std::make_unique<Node>(Node::Type::kDocument, "#document",
                                       nullptr, 0)),
      current_(document_.get()) {}

XmlTree::~XmlTree() = default;

XmlMoveResult XmlTree::MoveToElementFrom(Node* parent, size_t first_index) {
  for (size_t i = first_index; i < parent->children.size(); ++i) {
    if (parent->children[i]->type == Node::Type::kElement) {
      current_ = parent->children[i].get();
      return kXmlMoved;
    }
  }
  return kXmlNoElement;
}

XmlMoveResult XmlTree::MoveToFirstChild() {
  return MoveToElementFrom(current_, 0);
}

XmlMoveResult XmlTree::MoveToFollowingSibling() {
  if (!current_->parent) return kXmlNoElement;
  return MoveToElementFrom(current_->parent, current_->index_in_parent + 1);
}

XmlMoveResult XmlTree::MoveToParent() {
  Node* parent = current_->parent;
  if (!parent || parent->type != Node::Type::kElement) return kXmlNoElement;
  current_ = parent;
  return kXmlMoved;
}

bool XmlTree::GetName(std::string* out) {
  *out = current_->name;
  return true;
}

bool XmlTree::GetText(std::string* out) {
  out->clear();
  current_->AppendText(out);
  return true;
}

bool XmlTree::GetAttribute(const std::string& name, std::string* out) {
  for (const auto& attribute : current_->attributes) {
    if (attribute.first == name) {
      *out = attribute.second;
      return true;
    }
  }
  return false;
}

bool XmlTree::AddChildElement(const std::string& name) {
  if (!IsWritableXmlName(name)) return false;
  if (current_->type == Node::Type::kDocument && current_->HasElementChild())
    return false;
  current_ = current_->Append(Node::Type::kElement, name);
  return true;
}

bool XmlTree::CloseElement() { return MoveToParent() == kXmlMoved; }

bool XmlTree::SetAttribute(const std::string& name, const std::string& value) {
  if (current_->type != Node::Type::kElement || !IsWritableXmlName(name) ||
      !IsWritableXmlText(value))
    return false;
  for (auto& attribute : current_->attributes) {
    if (attribute.first == name) {
      attribute.second = value;
      return true;
    }
  }
  current_->attributes.emplace_back(name, value);
  return true;
}

bool XmlTree::SetText(const std::string& text) {
  if (current_->type != Node::Type::kElement || !IsWritableXmlText(text))
    return false;
  current_->children.clear();
  if (!text.empty()) current_->Append(Node::Type::kText, "#text")->value = text;
  return true;
}

bool XmlTree::AddComment(const std::string& text) {
  current_->Append(Node::Type::kComment, "#comment")->value = text;
  return true;
}

bool XmlTree::AddTextNode(const std::string& text) {
  if (current_->type != Node::Type::kElement) return false;
  current_->Append(Node::Type::kText, "#text")->value = text;
  return true;
}

void XmlTree::MoveToDocument() { current_ = document_.get(); }

bool XmlTree::SaveToString(std::string* out) const {
  XmlTextWriter writer;
  document_->Write(&writer);
  return writer.Finish(out);
}

}  // namespace installer
