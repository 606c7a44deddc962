#include "desktop/windows/installer/common/stats_node.h"

#include <utility>

#include "base/strings/stringprintf.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/common/stats_document.h"

namespace installer {

namespace {

std::string TimeText(base::Time time) {
  base::Time::Exploded exploded;
  time.UTCExplode(&exploded);
  return FormatStatsTime(exploded.year, exploded.month, exploded.day_of_month,
                         exploded.hour, exploded.minute, exploded.second,
                         exploded.millisecond);
}

}  // namespace

std::string FormatStatsTime(int year, int month, int day_of_month, int hour,
                            int minute, int second, int millisecond) {
  return base::StringPrintf("%02d-%02d-%02d %02d:%02d:%02d.%03d", year, month,
                            day_of_month, hour, minute, second, millisecond);
}

StatsNode::StatsNode(base::ScopedRefPtr<StatsDocument> document,
                     std::vector<PathStep> path)
    : document_(std::move(document)), path_(std::move(path)) {}

StatsNode::StatsNode(const StatsNode& other) = default;
StatsNode& StatsNode::operator=(const StatsNode& other) = default;
StatsNode::~StatsNode() = default;

base::DictionaryValue* StatsNode::Resolve() const {
  base::Value* current = &document_->root_;
  for (const PathStep& step : path_) {
    base::Value* child = nullptr;
    if (step.is_index) {
      base::ListValue* list = nullptr;
      if (!current->GetAsList(&list) || !list->Get(step.index, &child))
        return nullptr;
    } else {
      base::DictionaryValue* dictionary = nullptr;
      if (!current->GetAsDictionary(&dictionary) ||
          !dictionary->GetWithoutPathExpansion(step.key, &child))
        return nullptr;
    }
    current = child;
  }
  base::DictionaryValue* dictionary = nullptr;
  return current->GetAsDictionary(&dictionary) ? dictionary : nullptr;
}

void StatsNode::SetString(base::StringPiece key, base::StringPiece value) {
  base::AutoLock lock(document_->lock_);
  if (base::DictionaryValue* dictionary = Resolve())
    dictionary->SetString(key, value);
}

void StatsNode::SetInteger(base::StringPiece key, int value) {
  base::AutoLock lock(document_->lock_);
  if (base::DictionaryValue* dictionary = Resolve())
    dictionary->SetInteger(key, value);
}

void StatsNode::IncrementInteger(base::StringPiece key) {
  base::AutoLock lock(document_->lock_);
  base::DictionaryValue* dictionary = Resolve();
  if (!dictionary) return;
  int value = 0;
  dictionary->GetInteger(key, &value);
  dictionary->SetInteger(key, value + 1);
}

void StatsNode::SetTimeNow(base::StringPiece key) {
  const base::Time now = base::Time::Now();
  const int64_t elapsed_ms = (now - document_->start_time()).InMilliseconds();
  const std::string prefix = key.as_string();
  base::AutoLock lock(document_->lock_);
  base::DictionaryValue* dictionary = Resolve();
  if (!dictionary) return;
  dictionary->SetString(prefix + ".time", TimeText(now));
  dictionary->SetInteger(prefix + ".elapsed", static_cast<int>(elapsed_ms));
}

void StatsNode::SetTime(base::StringPiece key) {
  const std::string text = TimeText(base::Time::Now());
  base::AutoLock lock(document_->lock_);
  if (base::DictionaryValue* dictionary = Resolve())
    dictionary->SetString(key, text);
}

std::unique_ptr<StatsNode> StatsNode::AppendDictionary(base::StringPiece key) {
  // The same parts as the dictionary's own dotted-path walk: every '.'
  // separates, and empty parts are empty keys.
  std::vector<PathStep> child_path = path_;
  size_t part_start = 0;
  for (;;) {
    const size_t dot = key.find('.', part_start);
    child_path.push_back(
        PathStep{std::string(key.view().substr(part_start, dot - part_start)),
                 0, false});
    if (dot == base::StringPiece::npos) break;
    part_start = dot + 1;
  }

  base::AutoLock lock(document_->lock_);
  base::DictionaryValue* dictionary = Resolve();
  size_t index = 0;
  if (dictionary) {
    base::ListValue* list = nullptr;
    if (!dictionary->GetList(key, &list)) {
      auto new_list = std::make_unique<base::ListValue>();
      list = new_list.get();
      dictionary->Set(key, std::move(new_list));
    }
    index = list->GetSize();
    list->Append(std::make_unique<base::DictionaryValue>());
  }
  child_path.push_back(PathStep{std::string(), index, true});
  return std::unique_ptr<StatsNode>(
      new StatsNode(document_, std::move(child_path)));
}

void StatsNode::Remove(base::StringPiece key) {
  base::AutoLock lock(document_->lock_);
  if (base::DictionaryValue* dictionary = Resolve())
    dictionary->Remove(key, nullptr);
}

}  // namespace installer
