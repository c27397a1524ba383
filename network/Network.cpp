// The network's graph: points, set-ups and sections, and whether every part
// of it reaches a benchmark.
//
// Point identity. A point that starts or ends a line of levelling, or is a
// benchmark, is one network point in every input. Any other point is a
// turning point of its own line. A level data file knows its points only by
// name and its lines only as runs of chained records, so a name it reaches
// at two separate places (not the same junction of consecutive records) may
// be two points that share a name, such as turning points numbered afresh
// in every line. Such a name is kept apart, one point per place, with a
// warning, unless it is a benchmark or a network point of another input,
// which says that it is one point.
#include "network/internal/Network.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <deque>
#include <exception>
#include <set>
#include <string>
#include <unordered_set>

#include "common/AppFolder.h"
#include "common/Error.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "reduction/Chain.h"

namespace vireo::detail {
namespace {

constexpr std::size_t kNamesShown = 20;

}  // namespace

// Where a level data file reaches one name: its places, each with the file
// lines of the records arriving at it and leaving it (0 for none).
struct Place {
  long arriving = 0, leaving = 0;
  bool end = false;  // a loose end of a run
  int point = -1;
};

std::string NameList(const std::vector<std::string>& names) {
  std::string text;
  const std::size_t shown = std::min(names.size(), kNamesShown);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) text += (i + 1 == shown && shown == names.size()) ? " and " : ", ";
    text += names[i];
  }
  if (shown < names.size()) text += " and " + std::to_string(names.size() - shown) + " more";
  return text;
}

int Network::AddPoint(std::string name, std::size_t input, bool network) {
  Point& point = points_.emplace_back();
  point.network = network;
  point.input = static_cast<std::uint32_t>(input);
  AdjustedPoint& out = result_.points.emplace_back();
  out.name = std::move(name);
  out.turningPoint = !network;
  return static_cast<int>(points_.size() - 1);
}

int Network::NetworkPoint(const std::string& name, std::size_t input) {
  auto [it, added] = networkIndex_.try_emplace(name, static_cast<int>(points_.size()));
  if (added) AddPoint(name, input, true);
  return it->second;
}

void Network::AddBenchmarks() {
  for (std::size_t b = 0; b < benchmarks_.size(); ++b) {
    const Benchmark& benchmark = benchmarks_[b];
    Point& point = points_[NetworkPoint(benchmark.name, 0)];
    if (point.benchmark >= 0) {
      const Benchmark& first = benchmarks_[point.benchmark];
      throw Error(
          benchmark.source, "read the benchmarks",
          (benchmark.sourceLine > 0 ? "line " + std::to_string(benchmark.sourceLine) + ": "
                                    : std::string()) +
              "the benchmark " + benchmark.name + " is given twice (also in " + first.source +
              (first.sourceLine > 0 ? " line " + std::to_string(first.sourceLine) : "") + ")");
    }
    point.benchmark = static_cast<int>(b);
  }
}

namespace {

// The places of every name of a level data file: a run's start, each
// junction of two chained records (a record from a point to itself stays at
// its place) and a run's end.
std::unordered_map<std::string, std::vector<Place>> PlacesOf(const NetworkInput& input) {
  std::unordered_map<std::string, std::vector<Place>> places;
  for (const LevelledLine& line : input.lines) {
    const auto& s = line.setups;
    for (std::size_t k = 0; k < s.size(); ++k) {
      if (k == 0) places[s[k].back].push_back({0, s[k].fieldLine, true});
      if (s[k].back == s[k].fore) continue;
      const bool end = k + 1 == s.size();
      places[s[k].fore].push_back({s[k].fieldLine, end ? 0 : s[k + 1].fieldLine, end});
    }
  }
  return places;
}

long FirstLine(const Place& place) {
  return place.arriving > 0 ? place.arriving : place.leaving;
}

std::string PlaceText(const Place& place) {
  if (place.arriving == 0 || place.leaving == 0) return std::to_string(FirstLine(place));
  return std::to_string(place.arriving) + "\u2013" + std::to_string(place.leaving);
}

}  // namespace

// A level data file's names reached at several places that nothing joins,
// each place a point of its own, warned about in the order of the file.
std::unordered_map<std::string, std::vector<Place>> Network::KeepApart(std::size_t i,
                                                                       const std::string& label) {
  const NetworkInput& input = inputs_[i];
  std::unordered_map<std::string, std::vector<Place>> apart;
  if (input.kind != InputKind::LevelData) return apart;
  for (auto& [name, places] : PlacesOf(input))
    if (places.size() > 1 && !networkIndex_.count(name)) apart.emplace(name, std::move(places));
  std::vector<std::pair<long, const std::string*>> order;
  for (const auto& [name, places] : apart) order.emplace_back(FirstLine(places.front()), &name);
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [line, name] : order) {
    std::vector<Place>& places = apart[*name];
    std::vector<std::string> texts;
    for (Place& place : places) {
      texts.push_back(PlaceText(place));
      place.point =
          AddPoint(*name + "@" + label + " line " + std::to_string(FirstLine(place)), i, place.end);
      points_[place.point].keptApart = true;
    }
    result_.warnings.push_back(
        {input.path, line,
         *name + " is reached at " + std::to_string(places.size()) +
             " places that are not consecutive records (lines " + NameList(texts) +
             "): a level data file knows a point only by its name, so each place is kept "
             "apart as a point of its own, " +
             *name + "@" + label +
             " line L (L the first line of the place); to adjust the lines as they were "
             "levelled, adjust the field data file, which holds the lines"});
  }
  return apart;
}

// What one input adds before its turning points are numbered: their names
// in the order they are first reached, its warnings, and why it was
// refused. Its set-ups name a turning point t as the point Local(t).
struct InputPart {
  std::vector<std::string> turning;
  NetworkWarnings warnings;
  std::vector<ChainBreak> chainBreaks;
  std::exception_ptr failure;
};

namespace {

constexpr int Local(std::size_t turning) {
  return -2 - static_cast<int>(turning);
}

}  // namespace

namespace {

// The turning points of one line of a field data file that it reaches at
// more than one place, in the order of the file, each with a warning.
void WarnKeptApart(const std::string& path, const std::string& suffix,
                   const std::unordered_map<std::string, std::vector<long>>& reached,
                   InputPart& part) {
  std::vector<std::pair<long, const std::string*>> order;
  for (const auto& [name, lines] : reached)
    if (lines.size() > 1) order.emplace_back(lines.front(), &name);
  std::sort(order.begin(), order.end());
  for (const auto& [first, name] : order) {
    std::vector<std::string> texts;
    for (long fieldLine : reached.at(*name)) texts.push_back(std::to_string(fieldLine));
    part.warnings.push_back(
        {path, first,
         *name + " is reached at " + std::to_string(texts.size()) +
             " places of one line of levelling that are not consecutive set-ups (file lines " +
             NameList(texts) + "): a turning point is its set-ups' own, so each place is kept " +
             "apart as a point of its own, " + *name + suffix +
             " line L (L the file line of the set-up that reaches it); if the line does come " +
             "back to one mark, give its height as a benchmark or end a line of levelling " +
             "there, which joins the places; otherwise give each mark a name of its own"});
  }
}

}  // namespace

// The set-ups of input i into edges_ and the observations from `first` on.
// Reads only what Build has settled, so inputs without names kept apart are
// added side by side.
void Network::AddInput(std::size_t i, const std::string& label, std::size_t first,
                       const std::unordered_map<std::string, std::vector<Place>>& apart,
                       InputPart& part) {
  const NetworkInput& input = inputs_[i];
  const double sigmaKm = options_.sigmaKm;
  // The places of a name kept apart come in the order PlacesOf lists them.
  std::unordered_map<std::string, std::size_t> nextPlace;
  auto placeOf = [&](const std::string& name) {
    const auto found = apart.find(name);
    return found == apart.end() ? -1 : found->second[nextPlace[name]++].point;
  };
  std::unordered_map<std::string, int> turning;
  // The file lines where a field data file's line reaches each of its
  // turning points anew (not as the back point of the next set-up).
  std::unordered_map<std::string, std::vector<long>> reached;
  std::size_t at = first;
  for (std::size_t l = 0; l < input.lines.size(); ++l) {
    turning.clear();
    reached.clear();
    const std::string suffix = "@" + label + ":" + std::to_string(l + 1);
    auto local = [&](const std::string& name, const std::string& after) {
      std::string& full = part.turning.emplace_back();
      full.reserve(name.size() + suffix.size() + after.size());
      full.append(name).append(suffix).append(after);
      return Local(part.turning.size() - 1);
    };
    auto pointOf = [&](const std::string& name, long fieldLine) {
      if (const int place = apart.empty() ? -1 : placeOf(name); place >= 0) return place;
      if (auto it = networkIndex_.find(name); it != networkIndex_.end()) return it->second;
      auto [t, added] = turning.try_emplace(name, 0);
      if (added) {
        t->second = local(name, "");
      } else if (input.kind == InputKind::FieldData) {
        // A turning point is its set-ups' own: a name the line reaches
        // again is another mark that shares the name (such as "CP" for
        // every change point), so it is kept apart.
        t->second = local(name, " line " + std::to_string(fieldLine));
      }
      reached[name].push_back(fieldLine);
      return t->second;
    };
    const LevelledLine& line = input.lines[l];
    int previousFore = -1;
    for (std::size_t k = 0; k < line.setups.size(); ++k) {
      const LevelledDifference& setup = line.setups[k];
      const std::optional<ChainBreak> broken =
          BreakOfChain(setup.fieldLine, setup.back, k > 0 ? &line.setups[k - 1].fore : nullptr);
      const bool chained = k > 0 && !broken;
      if (broken) {
        part.warnings.push_back({input.path, setup.fieldLine, ChainBreakText(*broken)});
        part.chainBreaks.push_back(*broken);
      }
      if (!(std::abs(setup.difference) <= kMaxDifference))
        throw Error(input.path, "adjust the network",
                    "line " + std::to_string(setup.fieldLine) + ": the height difference " +
                        DecimalText(setup.difference) + " m is not a number within \u00B1" +
                        DecimalText(kMaxDifference) + " m");
      double length = setup.length;
      if (!(length > 0) || !std::isfinite(length)) {
        part.warnings.push_back({input.path, setup.fieldLine,
                                 "the set-up from " + setup.back + " to " + setup.fore +
                                     " has no sight distance; it counts as 1 m"});
        length = 1;
      }
      const int from = chained ? previousFore : pointOf(setup.back, setup.fieldLine);
      // A level data record from a point to itself stays at its place; in a
      // field data file the fore point is the next mark, whatever its name.
      const bool samePlace = setup.fore == setup.back && input.kind == InputKind::LevelData;
      const int to = samePlace ? from : pointOf(setup.fore, setup.fieldLine);
      previousFore = to;
      // One run of a set-up has twice the variance of the mean of two: its
      // sigma is the double run's times the single-run factor (sqrt 2).
      const double factor = setup.singleRun ? options_.singleRunFactor : 1.0;
      edges_[at] = {from, to, setup.difference, factor * factor * length / 1000, length / 1000};
      AdjustedObservation& o = result_.observations[at++];
      o.input = static_cast<int>(i);
      o.line = static_cast<int>(l + 1);
      o.fieldLine = setup.fieldLine;
      o.from = from;
      o.to = to;
      o.length = length;
      o.observed = setup.difference;
      o.sigma = factor * sigmaKm * std::sqrt(length / 1000);
    }
    if (input.kind == InputKind::FieldData) WarnKeptApart(input.path, suffix, reached, part);
  }
}

// Inputs are added in their order: their turning points numbered after the
// points before them, their warnings after those before them, and the first
// refusal in that order is the one given.
void Network::AddInputs(const std::vector<std::string>& labels) {
  std::vector<std::size_t> first(inputs_.size() + 1, 0);
  for (std::size_t i = 0; i < inputs_.size(); ++i)
    first[i + 1] = first[i] + static_cast<std::size_t>(inputs_[i].SetupCount());
  edges_.resize(first.back());
  result_.observations.resize(first.back());
  std::vector<InputPart> parts(inputs_.size());
  auto add = [&](std::size_t i,
                 const std::unordered_map<std::string, std::vector<Place>>& apart = {}) {
    try {
      AddInput(i, labels[i], first[i], apart, parts[i]);
    } catch (...) {
      parts[i].failure = std::current_exception();
    }
  };
  // The turning points of a field data file are its own.
  ForEachOnAllCores(inputs_.size(), [&](std::size_t i) {
    if (inputs_[i].kind != InputKind::LevelData) add(i);
  });
  for (std::size_t i = 0; i < inputs_.size(); ++i) {
    if (inputs_[i].kind == InputKind::LevelData) add(i, KeepApart(i, labels[i]));
    InputPart& part = parts[i];
    result_.warnings.Append(part.warnings);
    for (ChainBreak& b : part.chainBreaks)
      result_.chainBreaks.push_back({static_cast<int>(i), std::move(b)});
    if (part.failure) std::rethrow_exception(part.failure);
    const int base = static_cast<int>(points_.size());
    for (std::string& name : part.turning) AddPoint(std::move(name), i, false);
    auto number = [base](int& point) {
      if (point < -1) point = base + (-2 - point);
    };
    for (std::size_t e = first[i]; e < first[i + 1]; ++e) {
      number(edges_[e].from);
      number(edges_[e].to);
      result_.observations[e].from = edges_[e].from;
      result_.observations[e].to = edges_[e].to;
    }
  }
  for (const Edge& e : edges_) {
    ++points_[e.from].degree;
    ++points_[e.to].degree;
    if (e.from == e.to) points_[e.from].selfLoop = true;
  }
}

void Network::Build() {
  AddBenchmarks();
  // Line ends are network points; in a level data file only where the name
  // is reached once, is a benchmark or ends a line of another input.
  std::unordered_map<std::string, std::vector<std::size_t>> endsIn;
  for (std::size_t i = 0; i < inputs_.size(); ++i)
    for (const LevelledLine& line : inputs_[i].lines)
      if (!line.setups.empty())
        for (const std::string* name : {&line.setups.front().back, &line.setups.back().fore}) {
          auto& list = endsIn[*name];
          if (list.empty() || list.back() != i) list.push_back(i);
        }
  for (std::size_t i = 0; i < inputs_.size(); ++i) {
    std::unordered_map<std::string, std::size_t> placeCount;
    if (inputs_[i].kind == InputKind::LevelData)
      for (const auto& [name, places] : PlacesOf(inputs_[i])) placeCount[name] = places.size();
    for (const LevelledLine& line : inputs_[i].lines) {
      if (line.setups.empty()) continue;
      for (const std::string* name : {&line.setups.front().back, &line.setups.back().fore}) {
        const auto count = placeCount.find(*name);
        if (count != placeCount.end() && count->second > 1 && endsIn[*name].size() < 2) continue;
        NetworkPoint(*name, i);
      }
    }
  }

  // Input labels for turning point names: the base name, made unique.
  std::vector<std::string>& labels = result_.inputLabels;
  std::unordered_set<std::string> taken;
  taken.reserve(inputs_.size());
  for (const NetworkInput& input : inputs_) {
    std::string label = ToUtf8(BaseNameOf(input.path));
    if (label.empty()) label = ToUtf8(input.path);
    const std::string base = label;
    for (int n = 2; taken.count(label) > 0; ++n) label = base + "(" + std::to_string(n) + ")";
    taken.insert(label);
    labels.push_back(label);
  }
  long setups = 0;
  for (const NetworkInput& input : inputs_) setups += input.SetupCount();
  edges_.reserve(static_cast<std::size_t>(setups));
  result_.observations.reserve(static_cast<std::size_t>(setups) + benchmarks_.size());
  result_.points.reserve(static_cast<std::size_t>(setups) + benchmarks_.size() + 1);
  points_.reserve(result_.points.capacity());
  auto room = [](const auto& v) {
    return MemoryRange{v.data() + v.size(), (v.capacity() - v.size()) * sizeof v[0]};
  };
  Prefault({room(edges_), room(result_.observations), room(result_.points), room(points_)});
  AddInputs(labels);
  result_.setups = static_cast<long>(edges_.size());
  if (edges_.empty())
    throw Error(inputs_.empty() ? std::string() : inputs_.front().path, "adjust the network",
                "the inputs hold no levelled height difference");
  LinkEdges();
}

void Network::LinkEdges() {
  edgeStart_.assign(points_.size() + 1, 0);
  for (const Edge& e : edges_) ++edgeStart_[e.from + 1], ++edgeStart_[e.to + 1];
  for (std::size_t p = 0; p < points_.size(); ++p) edgeStart_[p + 1] += edgeStart_[p];
  edgeList_.resize(2 * edges_.size());
  std::vector<int> fill(edgeStart_.begin(), edgeStart_.end() - 1);
  for (std::size_t e = 0; e < edges_.size(); ++e) {
    edgeList_[fill[edges_[e].from]++] = static_cast<int>(e);
    edgeList_[fill[edges_[e].to]++] = static_cast<int>(e);
  }
  for (Point& point : points_) point.node = point.network || point.degree != 2 || point.selfLoop;
}

void Network::Walk(int start, int edge) {
  Section& section = sections_.emplace_back();
  section.start = start;
  section.firstStep = steps_.size();
  for (int at = start;;) {
    const Edge& e = edges_[edge];
    const int sign = e.from == at ? 1 : -1;
    steps_.push_back({edge, sign});
    section.difference += sign * e.difference;
    section.cofactor += e.cofactor;
    section.lengthKm += e.lengthKm;
    at = sign > 0 ? e.to : e.from;
    if (points_[at].node) {
      section.end = at;
      break;
    }
    const int* ends = &edgeList_[edgeStart_[at]];
    edge = ends[0] == edge ? ends[1] : ends[0];
  }
  section.stepCount = steps_.size() - section.firstStep;
  // In the direction it was levelled.
  if (steps_[section.firstStep].sign < 0) {
    std::swap(section.start, section.end);
    section.difference = -section.difference;
    auto first = steps_.begin() + static_cast<std::ptrdiff_t>(section.firstStep);
    std::reverse(first, first + static_cast<std::ptrdiff_t>(section.stepCount));
    for (auto it = first; it != first + static_cast<std::ptrdiff_t>(section.stepCount); ++it)
      it->sign = -it->sign;
  }
}

void Network::FormSections() {
  std::vector<char> walked(edges_.size(), 0);
  auto walkFrom = [&](int p) {
    for (int i = edgeStart_[p]; i < edgeStart_[p + 1]; ++i) {
      const int e = edgeList_[i];
      if (walked[e]) continue;
      Walk(p, e);
      const Section& s = sections_.back();
      for (std::size_t k = 0; k < s.stepCount; ++k) walked[steps_[s.firstStep + k].edge] = 1;
    }
  };
  for (std::size_t p = 0; p < points_.size(); ++p)
    if (points_[p].node) walkFrom(static_cast<int>(p));
  // What is left are rings of plain turning points: one of them ends the
  // ring's section.
  for (std::size_t e = 0; e < edges_.size(); ++e)
    if (!walked[e]) {
      points_[edges_[e].from].node = true;
      walkFrom(edges_[e].from);
    }
  OrderSections();
}

void Network::OrderSections() {
  std::sort(sections_.begin(), sections_.end(), [this](const Section& a, const Section& b) {
    return steps_[a.firstStep].edge < steps_[b.firstStep].edge;
  });
  for (std::size_t s = 0; s < sections_.size(); ++s)
    for (std::size_t k = 0; k < sections_[s].stepCount; ++k)
      result_.observations[steps_[sections_[s].firstStep + k].edge].section = static_cast<int>(s);
  removedSection_.assign(sections_.size(), 0);
  LinkSections();
}

void Network::LinkSections() {
  sectionStart_.assign(points_.size() + 1, 0);
  for (const Section& s : sections_)
    if (s.start != s.end) ++sectionStart_[s.start + 1], ++sectionStart_[s.end + 1];
  for (std::size_t p = 0; p < points_.size(); ++p) sectionStart_[p + 1] += sectionStart_[p];
  sectionList_.resize(static_cast<std::size_t>(sectionStart_.back()));
  std::vector<int> order(sections_.size());
  for (std::size_t s = 0; s < sections_.size(); ++s) order[s] = static_cast<int>(s);
  std::stable_sort(order.begin(), order.end(),
                   [this](int x, int y) { return sections_[x].cofactor < sections_[y].cofactor; });
  std::vector<int> fill(sectionStart_.begin(), sectionStart_.end() - 1);
  for (int s : order) {
    if (sections_[s].start == sections_[s].end) continue;
    sectionList_[fill[sections_[s].start]++] = s;
    sectionList_[fill[sections_[s].end]++] = s;
  }
}

namespace {

// Lower case without blanks: "BM 1" and "bm1" are one name mistyped.
std::string Folded(std::string_view name) {
  std::string folded;
  for (unsigned char c : name)
    if (c != ' ' && c != '\t') folded += static_cast<char>(std::tolower(c));
  return folded;
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// "A", "A or B", "A, B or C".
std::string OneOf(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  return text;
}

}  // namespace

void Network::RefuseUnobserved(std::size_t benchmarkPoint) const {
  // A benchmark nothing observes would hold no height of the network: most
  // often a name mistyped. The observed names nearest to it are offered (a
  // turning point is known by its name before "@").
  const std::string& given = result_.points[benchmarkPoint].name;
  const std::string folded = Folded(given);
  const std::size_t most = std::max<std::size_t>(1, folded.size() / 3);
  std::size_t best = most + 1;
  std::set<std::string> nearest;
  for (std::size_t q = 0; q < points_.size(); ++q) {
    if (points_[q].degree == 0) continue;
    const std::string& full = result_.points[q].name;
    const std::string name = full.substr(0, points_[q].network ? full.size() : full.rfind('@'));
    const std::string other = Folded(name);
    const std::size_t distance = EditDistance(folded, other);
    // Near, but not another name altogether ("x" is not offered "G").
    if (distance > best || distance >= std::max(folded.size(), other.size())) continue;
    if (distance < best) nearest.clear();
    best = distance;
    nearest.insert(name);
  }
  std::vector<std::string> names(nearest.begin(), nearest.end());
  if (names.size() > 3) names.resize(3);
  const Benchmark& b = benchmarks_[points_[benchmarkPoint].benchmark];
  throw Error(b.source, "read the benchmarks",
              (b.sourceLine > 0 ? "line " + std::to_string(b.sourceLine) + ": " : std::string()) +
                  given + ": no observation reaches it" +
                  (names.empty() ? "; no observed point has a name like it"
                                 : "; did you mean " + OneOf(names) + "?"));
}

void Network::CheckEveryPartHasABenchmark() {
  // Approximate heights from the benchmarks outwards; whatever they do not
  // reach has no datum.
  std::vector<char> reached(points_.size(), 0);
  std::deque<int> queue;
  for (std::size_t p = 0; p < points_.size(); ++p) {
    Point& point = points_[p];
    if (point.benchmark < 0) continue;
    point.height = benchmarks_[point.benchmark].height;
    if (point.degree == 0) RefuseUnobserved(p);
    reached[p] = 1;
    queue.push_back(static_cast<int>(p));
  }
  auto spread = [&](std::vector<char>& seen, auto&& visit) {
    while (!queue.empty()) {
      const int p = queue.front();
      queue.pop_front();
      for (int i = sectionStart_[p]; i < sectionStart_[p + 1]; ++i) {
        const int s = sectionList_[i], q = Across(s, p);
        if (seen[q]) continue;
        seen[q] = 1;
        visit(p, q, sections_[s]);
        queue.push_back(q);
      }
    }
  };
  spread(reached, [&](int p, int q, const Section& s) {
    points_[q].height = points_[p].height + (s.start == p ? s.difference : -s.difference);
  });

  std::vector<std::string> parts;
  std::size_t firstInput = 0;
  bool keptApart = false;
  for (std::size_t p = 0; p < points_.size(); ++p) {
    if (reached[p] || !points_[p].node || points_[p].degree == 0) continue;
    std::vector<int> part = {static_cast<int>(p)};
    reached[p] = 1;
    queue.push_back(static_cast<int>(p));
    spread(reached, [&](int, int q, const Section&) { part.push_back(q); });
    std::vector<std::string> named, turning;
    for (int q : part) {
      (points_[q].network ? named : turning).push_back(result_.points[q].name);
      keptApart = keptApart || points_[q].keptApart;
    }
    if (parts.empty()) firstInput = points_[p].input;
    std::vector<std::string>& names = named.empty() ? turning : named;
    std::sort(names.begin(), names.end());
    parts.push_back(NameList(names));
  }
  if (parts.empty()) return;
  std::string cause = "no benchmark is connected to ";
  for (std::size_t i = 0; i < parts.size(); ++i) cause += (i > 0 ? "; nor to " : "") + parts[i];
  throw Error(
      inputs_[firstInput].path, "adjust the network",
      cause + ": give the height of a point in " + (parts.size() > 1 ? "each part" : "that part") +
          (keptApart ? "; some of these points are names a level data file reaches at several "
                       "places, kept apart (see the warnings): adjust the field data file, which "
                       "holds the lines"
                     : ""));
}

bool Network::StaysConnectedWithout(int without, int benchmark) const {
  std::vector<char> reached(points_.size(), 0);
  std::deque<int> queue;
  for (std::size_t p = 0; p < points_.size(); ++p) {
    const int b = points_[p].benchmark;
    if (b < 0 || points_[p].degree == 0) continue;
    const auto w = std::find(weighted_.begin(), weighted_.end(), static_cast<int>(p));
    if (w != weighted_.end() &&
        (removedBenchmark_[w - weighted_.begin()] || w - weighted_.begin() == benchmark))
      continue;
    reached[p] = 1;
    queue.push_back(static_cast<int>(p));
  }
  while (!queue.empty()) {
    const int p = queue.front();
    queue.pop_front();
    for (int i = sectionStart_[p]; i < sectionStart_[p + 1]; ++i) {
      const int s = sectionList_[i], q = Across(s, p);
      if (removedSection_[s] || s == without || reached[q]) continue;
      reached[q] = 1;
      queue.push_back(q);
    }
  }
  for (std::size_t p = 0; p < points_.size(); ++p)
    if (points_[p].node && points_[p].degree > 0 && !reached[p]) return false;
  return true;
}

}  // namespace vireo::detail
