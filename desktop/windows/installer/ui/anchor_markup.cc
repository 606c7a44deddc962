#include "desktop/windows/installer/ui/anchor_markup.h"

namespace installer {

namespace {

constexpr char16_t kAnchorStart[] = u"<a";
constexpr char16_t kHrefWord[] = u"href";
constexpr char16_t kAnchorEnd[] = u"</a>";

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

size_t SkipSpaces(const std::u16string& text, size_t pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  return pos;
}

bool StartsWithAt(const std::u16string& text, size_t pos,
                  const char16_t* word) {
  return text.compare(pos, std::char_traits<char16_t>::length(word), word) == 0;
}

// Reads one anchor that starts at |pos| ("<a"). On success returns true and
// stores its target, its label and the position just after "</a>".
bool ReadAnchor(const std::u16string& markup, size_t pos, std::u16string* href,
                std::u16string* label, size_t* end) {
  pos += std::size(kAnchorStart) - 1;
  if (pos >= markup.size() || !IsSpace(markup[pos])) return false;
  pos = SkipSpaces(markup, pos);
  if (!StartsWithAt(markup, pos, kHrefWord)) return false;
  pos = SkipSpaces(markup, pos + std::size(kHrefWord) - 1);
  if (pos >= markup.size() || markup[pos] != u'=') return false;
  pos = SkipSpaces(markup, pos + 1);
  if (pos >= markup.size() || (markup[pos] != u'"' && markup[pos] != u'\''))
    return false;
  const char16_t quote = markup[pos];
  const size_t target_start = pos + 1;
  const size_t target_end = markup.find(quote, target_start);
  if (target_end == std::u16string::npos || target_end == target_start)
    return false;
  const size_t tag_end = markup.find_first_of(u"<>", target_end + 1);
  if (tag_end == std::u16string::npos || markup[tag_end] != u'>') return false;
  const size_t label_start = tag_end + 1;
  const size_t label_end = markup.find(kAnchorEnd, label_start);
  if (label_end == std::u16string::npos || label_end == label_start)
    return false;
  *href = markup.substr(target_start, target_end - target_start);
  *label = markup.substr(label_start, label_end - label_start);
  *end = label_end + std::size(kAnchorEnd) - 1;
  return true;
}

}  // namespace

LinkedText ParseAnchorMarkup(const std::u16string& markup) {
  LinkedText result;
  size_t pos = 0;
  while (pos < markup.size()) {
    const size_t anchor = markup.find(kAnchorStart, pos);
    if (anchor == std::u16string::npos) break;
    std::u16string href, label;
    size_t end = 0;
    if (!ReadAnchor(markup, anchor, &href, &label, &end)) {
      // Not an anchor: its first character is plain text.
      result.text.append(markup, pos, anchor + 1 - pos);
      pos = anchor + 1;
      continue;
    }
    result.text.append(markup, pos, anchor - pos);
    result.links.push_back({result.text.size(), label.size(), href});
    result.text += label;
    pos = end;
  }
  if (pos < markup.size()) result.text.append(markup, pos);
  return result;
}

std::u16string FindLinkTarget(const std::vector<TextLink>& links,
                              size_t position) {
  for (const TextLink& link : links) {
    if (position >= link.start && position < link.start + link.length)
      return link.href;
  }
  return std::u16string();
}

}  // namespace installer
