// Links written into localised texts as anchor elements:
//
//   By clicking on "Accept" you agree to the <a href="tos">Terms</a>
//
// ParseAnchorMarkup() turns such a text into what the installer window
// shows, the labels inline, and the place and target of each link, which
// the window marks as links in its rich-edit controls.
//
// An anchor is "<a", white space, "href", "=", a quote character (" or '),
// the target up to the same quote, anything but "<" up to ">", then the
// label up to "</a>"; target and label are not empty. Whatever does not
// fit this stays in the text as it is written. Portable.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_ANCHOR_MARKUP_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_ANCHOR_MARKUP_H_

#include <stddef.h>

#include <string>
#include <vector>

namespace installer {

// One link: its label's place in the shown text (UTF-16 units) and where it
// leads.
struct TextLink {
  size_t start = 0;
  size_t length = 0;
  std::u16string href;

  bool operator==(const TextLink& other) const {
    return start == other.start && length == other.length && href == other.href;
  }
};

struct LinkedText {
  std::u16string text;
  // In the order of the text, not overlapping.
  std::vector<TextLink> links;
};

LinkedText ParseAnchorMarkup(const std::u16string& markup);

// The target of the link whose label contains position |position| of the
// text; empty when none does.
std::u16string FindLinkTarget(const std::vector<TextLink>& links,
                              size_t position);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_ANCHOR_MARKUP_H_
