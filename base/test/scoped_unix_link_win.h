// ScopedUnixLink: a symbolic link of the Linux system under Wine, for tests
// of what a privileged process does where someone planted a junction.
// Wine cannot make a junction or a Windows symbolic link (the calls answer
// success and make nothing), but a Linux symbolic link inside the prefix
// reads as a reparse point when listed, a handle opened on it leads to its
// target, and paths through it land in the target: it stands in for a
// junction anywhere in a path. Wine starts the Linux "ln" and "rm" for it.
//
// The link goes when the object does (a tree with a link in it is not
// deleted by the product's link-safe deletion). Not under Wine, Make fails.
// One thread.

#ifndef BASE_TEST_SCOPED_UNIX_LINK_WIN_H_
#define BASE_TEST_SCOPED_UNIX_LINK_WIN_H_

#include <string>

#include "base/files/file_path.h"

namespace base {

class ScopedUnixLink {
 public:
  ScopedUnixLink();
  ScopedUnixLink(const ScopedUnixLink&) = delete;
  ScopedUnixLink& operator=(const ScopedUnixLink&) = delete;
  // Removes the link, never its target.
  ~ScopedUnixLink();

  // Makes |link| (whose folder exists) a symbolic link to |target|, which
  // must exist, and waits up to 10 s until the link shows. False when one
  // is held already or it does not show.
  bool Make(const FilePath& link, const FilePath& target);
  // Makes the free drive |letter| ('A' to 'Z') lead to the folder |target|,
  // as a drive mapped onto a folder does: Wine's drive letters are links in
  // the prefix's "dosdevices" folder. A target on another Linux file system
  // (one below /dev/shm) makes it a volume of its own, which nothing can be
  // renamed onto from another drive. False as for Make.
  bool MakeDrive(char16_t letter, const FilePath& target);
  // Removes the link now and waits up to 10 s until it is gone; true when
  // it is (or none was made).
  bool Remove();

 private:
  bool MakeAt(const FilePath& link, const std::string& unix_link,
              const FilePath& target);

  // The link as Windows and as Linux name it.
  FilePath link_;
  std::string unix_link_;
};

}  // namespace base

#endif  // BASE_TEST_SCOPED_UNIX_LINK_WIN_H_
