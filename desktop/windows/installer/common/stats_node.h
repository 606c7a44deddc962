// StatsNode: a view of one dictionary of the installation statistics
// (StatsDocument), through which the UI, the settings, the package fetcher
// and the download observers write their keys.
//
// A node is a small value: copy it freely, on any thread. It keeps the
// document alive and names its dictionary by the path from the document's
// root (keys, and list positions for the dictionaries that AppendDictionary
// made), which every operation resolves again under the document's lock.
// A node whose dictionary has been removed or replaced in the meantime
// therefore writes nothing (or, when a new list has been filled in its place,
// into the dictionary now at its position), never into freed memory.
//
// Keys are dotted paths: "os.version.major" stores under "major" in the
// dictionary "version" in the dictionary "os", creating the dictionaries on
// the way and replacing any other value that stands in the way.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_STATS_NODE_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_STATS_NODE_H_

#include <stddef.h>

#include <memory>
#include <string>
#include <vector>

#include "base/memory/ref_counted.h"
#include "base/strings/string_piece.h"

namespace base {
class DictionaryValue;
}

namespace installer {

class StatsDocument;

class StatsNode {
 public:
  StatsNode(const StatsNode& other);
  StatsNode& operator=(const StatsNode& other);
  ~StatsNode();

  void SetString(base::StringPiece key, base::StringPiece value);
  // Booleans are written as 0 or 1.
  void SetInteger(base::StringPiece key, int value);
  // Stores the integer at |key| plus one; a missing key (or another type)
  // counts as 0.
  void IncrementInteger(base::StringPiece key);
  // |key| + ".time" = the time text of now (UTC), |key| + ".elapsed" = the
  // milliseconds since the document was created.
  void SetTimeNow(base::StringPiece key);
  // |key| = the time text of now (UTC).
  void SetTime(base::StringPiece key);
  // Appends a new empty dictionary to the list at |key| (created when there
  // is none, replacing another value there) and returns a node on it.
  std::unique_ptr<StatsNode> AppendDictionary(base::StringPiece key);
  // Removes the value at |key|; nothing when it is absent.
  void Remove(base::StringPiece key);

 private:
  friend class StatsDocument;

  // One step from a dictionary to a child: a key, or a position in a list.
  struct PathStep {
    std::string key;
    size_t index = 0;
    bool is_index = false;
  };

  // A node on the dictionary at |path| below the root of |document|.
  StatsNode(base::ScopedRefPtr<StatsDocument> document,
            std::vector<PathStep> path);

  // The node's dictionary, or null when it no longer exists. The document's
  // lock must be held.
  base::DictionaryValue* Resolve() const;

  base::ScopedRefPtr<StatsDocument> document_;
  std::vector<PathStep> path_;
};

// "2016-10-12 17:00:01.042": the format of every time stamp in the
// statistics, from UTC calendar fields.
std::string FormatStatsTime(int year, int month, int day_of_month, int hour,
                            int minute, int second, int millisecond);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_STATS_NODE_H_
