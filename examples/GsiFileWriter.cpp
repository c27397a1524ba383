#include "examples/GsiFileWriter.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "common/Text.h"
#include "readers/DiniFormat.h"

namespace vireo::examples {
namespace {

using Units = long long;  // 0.00001 m, the step of unit 8

Units ToUnits(std::string_view text) {
  text = TrimBlanks(text);
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.empty() || fraction.size() > 5 || whole.size() > 12)
    throw std::invalid_argument("no value of at most five decimals: " + std::string(text));
  Units units = 0;
  for (char c :
       std::string(whole) + std::string(fraction) + std::string(5 - fraction.size(), '0')) {
    if (c < '0' || c > '9') throw std::invalid_argument("not a number: " + std::string(text));
    units = units * 10 + (c - '0');
  }
  return negative ? -units : units;
}

struct Sight {
  int index = 0;  // 331, 332, 335 or 336
  Units value = 0, distance = 0;
};

class Writer {
 public:
  Writer(GsiWidth width, std::string lineEnd)
      : width_(width == GsiWidth::Gsi16 ? 16 : 8), lineEnd_(std::move(lineEnd)) {}

  void LineStart(std::string_view method) {
    if (open_) EndLine();
    open_ = true;
    started_ = false;
    setups_ = 0;
    sum571_ = sum573_ = sum574_ = 0;
    sights_.clear();
    single_ = method == "BF" || method == "aBF";
    const char digit = method == "aBFFB" ? '4' : method == "BF" ? '1' : method == "aBF" ? '3' : '2';
    Block({Counted("41") + "+" + Padded(std::string("?......") + digit, '0')});
  }

  void Reading(const std::string& code, const std::string& point, Units value, Units distance) {
    if (single_) {
      SingleRunReading(code, point, value, distance);
      return;
    }
    if (sights_.size() == 4) sights_.clear();
    int backs = 0, fores = 0;
    for (const Sight& s : sights_) (s.index == 331 || s.index == 335 ? backs : fores)++;
    const bool back = code == "Rb";
    if ((back ? backs : fores) == 2)
      throw std::invalid_argument("a set-up holds more than two readings of one kind");
    const int index = back ? (backs == 0 ? 331 : 335) : (fores == 0 ? 332 : 336);
    sights_.push_back({index, value, distance});
    const Units ab = value < 0 ? -value : value;
    Block({Counted("11") + "+" + Id(point), Number("32...8", distance),
           Number((std::to_string(index) + ".08").c_str(), value), Number("390...", 2),
           Number("391.08", ab % 6)});
  }

  void Height(const std::string& point, Units height) {
    if (!open_) return;
    if (!started_ && sights_.empty()) {
      // The first height of a line is its start height; the DNA03 marks
      // the first one of a job as a stored fixpoint (input mode 5).
      const bool firstOfJob = blocks_ == 1;
      Block({Counted("11") + "+" + Id(point), Number(firstOfJob ? "83..58" : "83..08", height)});
      started_ = true;
      startPoint_ = lastPoint_ = point;
      startHeight_ = lastHeight_ = height;
    } else if (single_ && intermediate_) {
      intermediate_ = false;
      Block({Counted("11") + "+" + Id(point), Number("83..08", height)});
    } else if (sights_.size() == (single_ ? 2u : 4u)) {
      Result(point, height);
      sights_.clear();
    }
    // Any other height (the DiNi line summary) has no block of its own.
  }

  std::string Take() {
    if (open_) EndLine();
    return std::move(out_);
  }

 private:
  Units Of(int index) const {
    for (const Sight& s : sights_)
      if (s.index == index) return s.value;
    return 0;
  }
  Units DistanceOf(int index) const {
    for (const Sight& s : sights_)
      if (s.index == index) return s.distance;
    return 0;
  }

  // A single-run line writes each reading as it comes: 331 back, 332 fore,
  // 333 an intermediate sight (its height follows in a block of its own).
  void SingleRunReading(const std::string& code, const std::string& point, Units value,
                        Units distance) {
    const int index = code == "Rb" ? 331 : code == "Rf" ? 332 : 333;
    intermediate_ = index == 333;
    if (index != 333) sights_.push_back({index, value, distance});
    const Units ab = value < 0 ? -value : value;
    Block({Counted("11") + "+" + Id(point), Number("32...8", distance),
           Number((std::to_string(index) + ".08").c_str(), value), Number("390...", 1),
           Number("391.08", ab % 3)});
  }

  void Result(const std::string& point, Units height) {
    if (single_) {
      sum573_ += DistanceOf(331) - DistanceOf(332);
      sum574_ += DistanceOf(331) + DistanceOf(332);
      ++setups_;
      Block({Counted("11") + "+" + Id(point), Number("573..8", sum573_), Number("574..8", sum574_),
             Number("83..08", height)});
      lastPoint_ = point;
      lastHeight_ = height;
      return;
    }
    const Units station = (Of(331) - Of(332)) - (Of(335) - Of(336));
    const Units back = DistanceOf(331) + DistanceOf(335), fore = DistanceOf(332) + DistanceOf(336);
    sum571_ += station;
    sum573_ += (back - fore) / 2;
    sum574_ += (back + fore) / 2;
    ++setups_;
    Block({Counted("11") + "+" + Id(point), Number("571.08", station), Number("572.08", sum571_),
           Number("573..8", sum573_), Number("574..8", sum574_), Number("83..08", height)});
    lastPoint_ = point;
    lastHeight_ = height;
  }

  void EndLine() {
    open_ = false;
    const bool closed = lastPoint_ == startPoint_;
    const Units reference = closed ? startHeight_ : lastHeight_;
    const Units misclose = lastHeight_ - reference;
    const double km = static_cast<double>(sum574_) / 1e8;
    const Units tolerance = static_cast<Units>(std::lround((2.0 + 5.0 * std::sqrt(km)) * 100));
    // GSI-8 writes text words unpadded, so the label outgrows its word.
    const std::string label = width_ == 8 ? "Vireo loop" : Padded("Vireo loop", '0');
    Block({Number("505.08", misclose), Number("506.08", tolerance),
           Number("507.08", setups_ > 0 ? misclose / setups_ : 0), "508...+" + label,
           "509...+" + Id(startPoint_), Number("510.08", startHeight_),
           Number("511.08", startHeight_), "512...+" + Id(lastPoint_),
           Number("513.08", lastHeight_), Number("514.08", reference), Number("390...", 2),
           Number("391.08", 0)});
    Block({"515...+" + Id(lastPoint_), Number("516.08", lastHeight_), Number("517.08", lastHeight_),
           Number("518.08", 0), Number("290...", setups_), Number("390...", 2),
           Number("391.08", 0)});
  }

  // Word 11 or 41 with the block number in positions 3-6.
  std::string Counted(const char* index) {
    char number[8];
    std::snprintf(number, sizeof number, "%04d", static_cast<int>(++blocks_ % 10000));
    return std::string(index) + number;
  }

  std::string Padded(const std::string& text, char pad) const {
    const std::size_t width = static_cast<std::size_t>(width_);
    return text.size() >= width ? text : std::string(width - text.size(), pad) + text;
  }

  std::string Id(const std::string& point) const {
    if (point.size() > static_cast<std::size_t>(width_))
      throw std::invalid_argument("the point id " + point + " does not fit a GSI-8 word");
    return Padded(point, '0');
  }

  // A number word; past the width a GSI-8 word grows, as the DNA03's does.
  std::string Number(const char* head, Units value) const {
    const std::string digits = Padded(std::to_string(value < 0 ? -value : value), '0');
    if (digits.size() > 16) throw std::invalid_argument("a value does not fit a GSI-16 word");
    return std::string(head) + (value < 0 ? "-" : "+") + digits;
  }

  void Block(const std::vector<std::string>& words) {
    if (width_ == 16) out_ += '*';
    for (const std::string& word : words) out_ += word + ' ';
    out_ += lineEnd_;
  }

  int width_;
  std::string lineEnd_;
  std::string out_;
  long blocks_ = 0;
  bool open_ = false;
  bool started_ = false;
  bool single_ = false;        // the line is measured single-run
  bool intermediate_ = false;  // the last reading was an intermediate sight
  std::vector<Sight> sights_;
  std::string startPoint_, lastPoint_;
  Units startHeight_ = 0, lastHeight_ = 0;
  Units sum571_ = 0, sum573_ = 0, sum574_ = 0;
  long setups_ = 0;
};

}  // namespace

std::string GsiFromDini(std::string_view dini, GsiWidth width, const std::string& lineEnd) {
  Writer writer(width, lineEnd);
  auto line = [&](std::string_view text, long) {
    const FieldRecord record = ClassifyDiniLine(text);
    if (record.lineStart) {
      // "Start-Line" is followed by the method: "BFFB", "aBFFB", ...
      std::string_view rest =
          TrimBlanks(text.substr(std::min(text.size(), text.find("Start-Line") + 10)));
      writer.LineStart(rest.substr(0, rest.find(' ')));
    } else if (record.reading) {
      writer.Reading(record.reading->code, record.reading->pointId, ToUnits(Columns(text, 52, 66)),
                     ToUnits(record.reading->distance));
    } else if (record.height) {
      writer.Height(std::string(TrimBlanks(Columns(text, 21, 29))), ToUnits(record.heightText));
    }
  };
  LineSplitter splitter;
  splitter.Feed(dini, line);
  splitter.Finish(line);
  return writer.Take();
}

}  // namespace vireo::examples
