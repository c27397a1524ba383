// A doubtful record or value that the run went on over: shown to the
// surveyor with the line of the file it belongs to.
//
// A damaged or wrong file can raise a warning on every one of millions of
// lines. The warnings of a run are therefore kept in a WarningList, which
// counts every warning but keeps only the first kKeptPerKind of each kind;
// where it drops some, its list holds one line instead, "and N more of this
// kind, lines A to B: <the kind's first message>", at the place of the first
// one dropped. So a list never holds more than about 65,000 lines, whatever
// the file.
//
// The kind of a warning is its message with the parts that differ between
// warnings of one kind taken out: every digit (line numbers, readings,
// counts) and any text in double quotes (a quoted word or value). Point ids
// without digits stay in, so "the fore sight on A ..." and "the fore sight
// on B ..." are kinds of their own. At most kKinds kinds are told apart;
// warnings of any further kind are one kind, "other kinds".
#pragma once

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vireo {

struct RunWarning {
  long line = 0;  // line of the input file; 0 when not tied to one
  std::string message;
};

// The kind of a warning's message, as described above.
std::string WarningKind(std::string_view message);

// The line a WarningList shows for the warnings of a kind it dropped:
// `example` is the kind's first message, empty for "other kinds"; the lines
// are the lowest and highest file line among them (0: none).
std::string MoreOfKindText(std::size_t more, long firstLine, long lastLine,
                           const std::string& example);

template <typename W>
class WarningList {
 public:
  static constexpr std::size_t kKeptPerKind = 1000;
  static constexpr std::size_t kKinds = 64;

  using value_type = W;
  using const_iterator = typename std::vector<W>::const_iterator;

  void push_back(W warning) {
    ++count_;
    Kind& kind = KindOf(WarningKind(warning.message), warning.message);
    if (kind.kept < kKeptPerKind) {
      ++kind.kept;
      tags_.push_back(static_cast<long>(&kind - kinds_.data()));
      entries_.push_back(std::move(warning));
      return;
    }
    AddMore(kind, 1, warning.line, warning.line);
  }

  // Adds the warnings of `other` after these, as though they were raised
  // here in the same order, with the counts of those it dropped; `convert`
  // turns each of its warnings into one of this list.
  template <typename Other, typename Convert>
  void Append(const WarningList<Other>& other, Convert&& convert) {
    for (std::size_t i = 0; i < other.entries_.size(); ++i) {
      const long tag = other.tags_[i];
      if (tag >= 0) {
        push_back(convert(other.entries_[i]));
        continue;
      }
      const auto& dropped = other.kinds_[static_cast<std::size_t>(~tag)];
      count_ += dropped.more;
      AddMore(KindOf(dropped.key, dropped.example), dropped.more, dropped.firstLine,
              dropped.lastLine);
    }
  }
  void Append(const WarningList& other) {
    Append(other, [](const W& w) { return w; });
  }
  // Puts the warnings of `first` before these, as though raised first.
  void Prepend(const WarningList& first) {
    WarningList joined = first;
    joined.Append(*this);
    *this = std::move(joined);
  }
  // Orders the list by file line, keeping the order of equal lines; the
  // line of a kind's dropped warnings stands at its first dropped line.
  void SortByLine() {
    auto lineOf = [&](std::size_t i) {
      return tags_[i] >= 0 ? entries_[i].line
                           : kinds_[static_cast<std::size_t>(~tags_[i])].firstLine;
    };
    std::vector<std::size_t> order(entries_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return lineOf(a) < lineOf(b); });
    std::vector<W> entries;
    std::vector<long> tags;
    entries.reserve(order.size());
    tags.reserve(order.size());
    for (std::size_t i : order) {
      if (tags_[i] < 0) kinds_[static_cast<std::size_t>(~tags_[i])].summary = entries.size();
      entries.push_back(std::move(entries_[i]));
      tags.push_back(tags_[i]);
    }
    entries_ = std::move(entries);
    tags_ = std::move(tags);
  }

  // The lines of the list: the kept warnings, and one line for the dropped
  // warnings of each kind that has any.
  const_iterator begin() const {
    Refresh();
    return entries_.cbegin();
  }
  const_iterator end() const { return entries_.cend(); }
  const W& operator[](std::size_t i) const {
    Refresh();
    return entries_[i];
  }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  // Every warning raised, kept or not.
  std::size_t Count() const { return count_; }

 private:
  template <typename>
  friend class WarningList;

  struct Kind {
    std::string key;
    std::string example;  // the first message of the kind
    std::size_t kept = 0;
    std::size_t more = 0;  // dropped
    long firstLine = 0;    // lowest and highest file line among those dropped
    long lastLine = 0;
    std::size_t summary = 0;  // index of the "and N more" line, when `more`
  };
  // Derived kinds have no digits, so no message is of this one.
  static constexpr const char* kOtherKinds = "0";

  Kind& KindOf(const std::string& key, const std::string& message) {
    auto found = index_.find(key);
    if (found == index_.end()) {
      if (index_.size() >= kKinds && key != kOtherKinds) return KindOf(kOtherKinds, {});
      found = index_.emplace(key, kinds_.size()).first;
      kinds_.push_back({key, key == kOtherKinds ? std::string() : message});
    }
    return kinds_[found->second];
  }

  void AddMore(Kind& kind, std::size_t more, long firstLine, long lastLine) {
    if (more == 0) return;
    if (kind.more == 0) {
      kind.summary = entries_.size();
      tags_.push_back(~static_cast<long>(&kind - kinds_.data()));
      entries_.emplace_back();
    }
    kind.more += more;
    if (firstLine > 0 && (kind.firstLine == 0 || firstLine < kind.firstLine))
      kind.firstLine = firstLine;
    if (lastLine > kind.lastLine) kind.lastLine = lastLine;
    stale_ = true;
  }

  void Refresh() const {
    if (!stale_) return;
    for (const Kind& kind : kinds_)
      if (kind.more > 0)
        entries_[kind.summary].message =
            MoreOfKindText(kind.more, kind.firstLine, kind.lastLine, kind.example);
    stale_ = false;
  }

  // Mutable only for the counts in the "and N more" lines, brought up to
  // date when the list is read.
  mutable std::vector<W> entries_;
  std::vector<long> tags_;  // per entry: its kind, or ~kind for a kind's "and N more" line
  std::vector<Kind> kinds_;
  std::unordered_map<std::string, std::size_t> index_;
  std::size_t count_ = 0;
  mutable bool stale_ = false;
};

using Warnings = WarningList<RunWarning>;

}  // namespace vireo
