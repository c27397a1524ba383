#include "output/internal/Chart.h"

#include <charconv>
#include <cstring>
#include <exception>

#include "common/CharConv.h"
#include "common/Error.h"
#include "output/internal/StreamingXml.h"

namespace vireo::xlsx {
namespace {

constexpr const char* kChartNs = "http://schemas.openxmlformats.org/drawingml/2006/chart";
constexpr const char* kDrawingNs = "http://schemas.openxmlformats.org/drawingml/2006/main";
constexpr const char* kRelNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// Above this many points the series are drawn as lines without markers.
constexpr int kMostMarkedPoints = 200;
// Longer references keep no cached values: spreadsheets draw charts from the
// cells, and caches of 100,000 points would cost more to write and rewrite
// than the sheet they come from. A reference without a cache can never show
// stale values.
constexpr std::uint32_t kMostCachedPoints = 10000;
// Series colours, as a theme would give them: the chart carries its own, so
// it looks the same in a package without a theme part.
constexpr const char* kSeriesColours[] = {"4F81BD", "C0504D", "9BBB59",
                                          "8064A2", "4BACC6", "F79646"};
// Marker shapes by series, each a size larger than the one before, so
// series that lie on each other stay apart.
constexpr const char* kMarkers[] = {"circle", "triangle", "square", "diamond", "x", "plus"};

// A solid line of `width` EMU (12700 to the point).
std::string Line(const char* colour, int width) {
  return "<a:ln w=\"" + std::to_string(width) + "\"><a:solidFill><a:srgbClr val=\"" + colour +
         "\"/></a:solidFill></a:ln>";
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string QuotedSheet(std::string_view sheet) {
  // Plain names of letters stand bare; anything else (digits could make a
  // cell reference of it) is quoted, with quotes doubled.
  bool bare = sheet.size() >= 2;
  for (char c : sheet) bare = bare && (IsLetter(c) || c == '_');
  if (bare) return std::string(sheet);
  std::string quoted = "'";
  for (char c : sheet) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

// "$B$12" or "b12" at `s`: column and row from 1; advances `s`.
bool ParseCell(std::string_view& s, int& row, int& column) {
  std::size_t i = 0;
  if (i < s.size() && s[i] == '$') ++i;
  column = 0;
  std::size_t letters = 0;
  while (i < s.size() && IsLetter(s[i]) && letters < 3) {
    column = column * 26 + ((s[i] & ~0x20) - 'A' + 1);
    ++i, ++letters;
  }
  if (letters == 0 || column > 16384) return false;
  if (i < s.size() && s[i] == '$') ++i;
  const std::size_t digits = i;
  row = 0;
  while (i < s.size() && IsDigit(s[i]) && row <= 1048576) row = row * 10 + (s[i++] - '0');
  if (i == digits || row < 1 || row > 1048576) return false;
  s.remove_prefix(i);
  return true;
}

// Text for a title: XML-escaped; control characters and the noncharacters
// U+FFFE and U+FFFF, which XML cannot hold, dropped.
std::string PlainText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (text.substr(i, 2) == "\xEF\xBF" && i + 2 < text.size() &&
             (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE)
      i += 2;
    else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
      out += c;
  }
  return out;
}

// One value of a cache: a number, or a text viewed in the cells' pool.
struct CachePoint {
  std::uint32_t index;
  CellView value;
};

struct CacheValues {
  std::uint32_t count = 0;
  bool cached = true;  // false: too long to cache
  std::vector<CachePoint> points;
};

// The cells of a one-row or one-column area as a cache sees them: a number
// cache holds only numbers, a text cache numbers and texts.
std::optional<CacheValues> ReadCache(const SheetStore& store, const AreaRef& area, bool numeric) {
  if (area.firstRow != area.lastRow && area.firstColumn != area.lastColumn) return std::nullopt;
  CacheValues values;
  values.count = static_cast<std::uint32_t>(area.lastRow - area.firstRow + area.lastColumn -
                                            area.firstColumn + 1);
  values.cached = values.count <= kMostCachedPoints;
  if (!values.cached) return values;
  std::uint32_t index = 0;
  for (int r = area.firstRow; r <= area.lastRow; ++r)
    for (int c = area.firstColumn; c <= area.lastColumn; ++c, ++index) {
      const CellView cell = ViewCell(store, r, c);
      if (cell.kind == CellKind::Number || (cell.kind == CellKind::Text && !numeric))
        values.points.push_back({index, cell});
    }
  return values;
}

void AppendCacheXml(std::string& out, const std::string& p, bool numeric,
                    std::string_view formatCode, const CacheValues& values, const Sink& sink) {
  if (!values.cached) return;
  out += "<" + p + (numeric ? "numCache>" : "strCache>");
  if (numeric) {
    out += "<" + p + "formatCode>";
    AppendEscapedText(out, formatCode);
    out += "</" + p + "formatCode>";
  }
  out += "<" + p + "ptCount val=\"";
  AppendInt(out, values.count);
  out += "\"/>";
  const std::string open = "<" + p + "pt idx=\"", value = "\"><" + p + "v>",
                    close = "</" + p + "v></" + p + "pt>";
  for (const CachePoint& point : values.points) {
    out += open;
    AppendInt(out, point.index);
    out += value;
    if (point.value.kind == CellKind::Number)
      AppendNumber(out, point.value.number);
    else
      AppendEscapedText(out, point.value.text);
    out += close;
    if (out.size() >= (1 << 16)) {
      sink(out);
      out.clear();
    }
  }
  out += "</" + p + (numeric ? "numCache>" : "strCache>");
}

void AppendReference(std::string& out, bool numeric, const AreaRef& area, const SheetStore& store,
                     const Sink& sink) {
  out += numeric ? "<c:numRef><c:f>" : "<c:strRef><c:f>";
  AppendEscapedText(out, AreaFormula(area));
  out += "</c:f>";
  AppendCacheXml(out, "c:", numeric, "General", *ReadCache(store, area, numeric), sink);
  out += numeric ? "</c:numRef>" : "</c:strRef>";
}

std::string RichText(std::string_view text, bool vertical) {
  return "<c:tx><c:rich><a:bodyPr" +
         std::string(vertical ? " rot=\"-5400000\" vert=\"horz\"" : "") +
         "/><a:lstStyle/><a:p><a:pPr><a:defRPr/></a:pPr><a:r><a:rPr lang=\"en-US\"/><a:t>" +
         PlainText(text) + "</a:t></a:r></a:p></c:rich></c:tx>";
}

std::string Title(std::string_view text, bool vertical = false) {
  return "<c:title>" + RichText(text, vertical) + "<c:layout/><c:overlay val=\"0\"/></c:title>";
}

// A value axis and where it crosses the other: "min" (the distance axis at
// the foot of the chart, whatever the levels), "max" (a secondary axis on
// the right) or "autoZero"; a `hidden` one only carries the scale of a
// second group of series.
std::string Axis(int id, int crossing, const char* position, std::string_view title, bool gridlines,
                 const char* crosses, bool hidden = false) {
  return "<c:valAx><c:axId val=\"" + std::to_string(id) +
         "\"/><c:scaling><c:orientation val=\"minMax\"/></c:scaling><c:delete val=\"" +
         (hidden ? "1" : "0") + "\"/><c:axPos val=\"" + position + "\"/>" +
         (gridlines
              ? "<c:majorGridlines><c:spPr>" + Line("D9D9D9", 9525) + "</c:spPr></c:majorGridlines>"
              : "") +
         (title.empty() ? std::string() : Title(title, position[0] == 'l' || position[0] == 'r')) +
         "<c:numFmt formatCode=\"General\" sourceLinked=\"0\"/><c:majorTickMark val=\"out\"/>"
         "<c:minorTickMark val=\"none\"/><c:tickLblPos val=\"nextTo\"/><c:spPr>" +
         Line("808080", 9525) + "</c:spPr><c:crossAx val=\"" + std::to_string(crossing) +
         "\"/><c:crosses val=\"" + crosses + "\"/><c:crossBetween val=\"midCat\"/></c:valAx>";
}

}  // namespace

std::optional<AreaRef> ParseAreaRef(std::string_view f) {
  while (!f.empty() && f.front() == ' ') f.remove_prefix(1);
  while (!f.empty() && f.back() == ' ') f.remove_suffix(1);
  if (!f.empty() && f.front() == '=') f.remove_prefix(1);
  AreaRef area;
  if (!f.empty() && f.front() == '\'') {
    std::size_t i = 1;
    for (;; ++i) {
      if (i >= f.size()) return std::nullopt;
      if (f[i] == '\'') {
        if (i + 1 < f.size() && f[i + 1] == '\'') {
          area.sheet += '\'';
          ++i;
          continue;
        }
        break;
      }
      area.sheet += f[i];
    }
    f.remove_prefix(i + 1);
  } else {
    const std::size_t bang = f.find('!');
    if (bang == std::string_view::npos) return std::nullopt;
    area.sheet = std::string(f.substr(0, bang));
    f.remove_prefix(bang);
  }
  if (area.sheet.empty() || f.empty() || f.front() != '!') return std::nullopt;
  f.remove_prefix(1);
  if (!ParseCell(f, area.firstRow, area.firstColumn)) return std::nullopt;
  area.lastRow = area.firstRow;
  area.lastColumn = area.firstColumn;
  if (!f.empty() && f.front() == ':') {
    f.remove_prefix(1);
    if (!ParseCell(f, area.lastRow, area.lastColumn)) return std::nullopt;
  }
  if (!f.empty() || area.lastRow < area.firstRow || area.lastColumn < area.firstColumn)
    return std::nullopt;
  return area;
}

std::string AreaFormula(const AreaRef& area) {
  std::string f = QuotedSheet(area.sheet) + "!$";
  AppendColumnName(f, area.firstColumn);
  f += '$' + std::to_string(area.firstRow);
  if (area.lastRow != area.firstRow || area.lastColumn != area.firstColumn) {
    f += ":$";
    AppendColumnName(f, area.lastColumn);
    f += '$' + std::to_string(area.lastRow);
  }
  return f;
}

std::string RowsFormula(std::string_view sheet, int firstRow, int lastRow) {
  return QuotedSheet(sheet) + "!$" + std::to_string(firstRow) + ":$" + std::to_string(lastRow);
}

namespace {

// The series of one group of a chart, numbered on from `first`.
void AppendSeries(std::string& xml, const ScatterChart& chart, const std::vector<int>& columns,
                  std::size_t first, const std::string& sheet, const SheetStore& store,
                  const Sink& out) {
  const bool markers = chart.lastRow - chart.firstRow + 1 <= kMostMarkedPoints;
  const AreaRef x{sheet, chart.firstRow, chart.xColumn, chart.lastRow, chart.xColumn};
  for (std::size_t n = 0; n < columns.size(); ++n) {
    const std::size_t i = first + n;
    const int column = columns[n];
    xml += "<c:ser><c:idx val=\"" + std::to_string(i) + "\"/><c:order val=\"" + std::to_string(i) +
           "\"/>";
    if (chart.nameRow > 0) {
      xml += "<c:tx>";
      AppendReference(xml, false, {sheet, chart.nameRow, column, chart.nameRow, column}, store,
                      out);
      xml += "</c:tx>";
    }
    const char* colour = kSeriesColours[i % std::size(kSeriesColours)];
    xml += "<c:spPr>" + Line(colour, 19050) + "</c:spPr>";
    if (markers)
      xml += std::string("<c:marker><c:symbol val=\"") + kMarkers[i % std::size(kMarkers)] +
             "\"/><c:size val=\"" + std::to_string(5 + 2 * (i % 3)) +
             "\"/><c:spPr><a:solidFill><a:srgbClr val=\"" + colour + "\"/></a:solidFill>" +
             Line(colour, 9525) + "</c:spPr></c:marker>";
    else
      xml += "<c:marker><c:symbol val=\"none\"/></c:marker>";
    xml += "<c:xVal>";
    AppendReference(xml, true, x, store, out);
    xml += "</c:xVal><c:yVal>";
    AppendReference(xml, true, {sheet, chart.firstRow, column, chart.lastRow, column}, store, out);
    xml += "</c:yVal><c:smooth val=\"0\"/></c:ser>";
  }
}

constexpr const char* kScatterStart =
    "<c:scatterChart><c:scatterStyle val=\"lineMarker\"/><c:varyColors val=\"0\"/>";

}  // namespace

void WriteChart(const ScatterChart& chart, const std::string& sheet, const SheetStore& store,
                const Sink& out) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  xml += std::string("<c:chartSpace xmlns:c=\"") + kChartNs + "\" xmlns:a=\"" + kDrawingNs +
         "\" xmlns:r=\"" + kRelNs +
         "\"><c:lang val=\"en-US\"/><c:roundedCorners val=\"0\"/><c:chart>";
  if (!chart.title.empty()) xml += Title(chart.title);
  xml += "<c:autoTitleDeleted val=\"" + std::string(chart.title.empty() ? "1" : "0") +
         "\"/><c:plotArea><c:layout/>" + kScatterStart;
  AppendSeries(xml, chart, chart.yColumns, 0, sheet, store, out);
  xml += "<c:axId val=\"50010001\"/><c:axId val=\"50010002\"/></c:scatterChart>";
  const bool secondary = !chart.secondaryYColumns.empty();
  if (secondary) {
    // A second group of series on its own pair of axes: a hidden X axis of
    // the same distances and a value axis on the right.
    xml += kScatterStart;
    AppendSeries(xml, chart, chart.secondaryYColumns, chart.yColumns.size(), sheet, store, out);
    xml += "<c:axId val=\"50010003\"/><c:axId val=\"50010004\"/></c:scatterChart>";
  }
  xml += Axis(50010001, 50010002, "b", chart.xAxisTitle, false, "min") +
         Axis(50010002, 50010001, "l", chart.yAxisTitle, true, "autoZero");
  if (secondary)
    xml += Axis(50010003, 50010004, "b", "", false, "min", true) +
           Axis(50010004, 50010003, "r", chart.secondaryYAxisTitle, false, "max");
  xml +=
      "</c:plotArea><c:legend><c:legendPos val=\"b\"/><c:overlay val=\"0\"/></c:legend>"
      "<c:plotVisOnly val=\"1\"/><c:dispBlanksAs val=\"gap\"/></c:chart></c:chartSpace>";
  out(xml);
}

std::string DrawingXml(const std::vector<ScatterChart>& charts) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/"
      "spreadsheetDrawing\" xmlns:a=\"" +
      std::string(kDrawingNs) + "\">";
  auto corner = [](int row, int column) {
    return "<xdr:col>" + std::to_string(column - 1) +
           "</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>" + std::to_string(row - 1) +
           "</xdr:row><xdr:rowOff>0</xdr:rowOff>";
  };
  for (std::size_t i = 0; i < charts.size(); ++i) {
    const ScatterChart& c = charts[i];
    const std::string n = std::to_string(i + 1);
    xml += "<xdr:twoCellAnchor><xdr:from>" + corner(c.top, c.left) + "</xdr:from><xdr:to>" +
           corner(c.bottom, c.right) +
           "</xdr:to><xdr:graphicFrame macro=\"\"><xdr:nvGraphicFramePr><xdr:cNvPr id=\"" +
           std::to_string(i + 2) + "\" name=\"Chart " + n +
           "\"/><xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr><xdr:xfrm><a:off x=\"0\" y=\"0\"/>"
           "<a:ext cx=\"0\" cy=\"0\"/></xdr:xfrm><a:graphic><a:graphicData uri=\"" +
           kChartNs + "\"><c:chart xmlns:c=\"" + kChartNs + "\" xmlns:r=\"" + kRelNs +
           "\" r:id=\"rId" + n +
           "\"/></a:graphicData></a:graphic></xdr:graphicFrame><xdr:clientData/>"
           "</xdr:twoCellAnchor>";
  }
  return xml + "</xdr:wsDr>";
}

namespace {

// Streams a chart part through expat. Bytes are copied as they come, except
// each cache of a refreshed reference, which is replaced by one made from
// the cells; its old values are read on the way to tell whether they differ.
class CacheRefresher {
 public:
  CacheRefresher(const CacheSource& source, const std::string& file, const std::string& part,
                 const Sink& out)
      : source_(source), out_(out), xml_(*this, file, part) {}

  void Feed(std::string_view piece, bool last) {
    window_.append(piece);
    xml_.Parse(piece, last);
    if (!cache_) EmitUpTo(last ? windowBase_ + window_.size() : lastEventEnd_);
  }
  bool Differed() const { return differed_; }

 private:
  friend class StreamingXml<CacheRefresher>;

  void Text(const XML_Char* text, std::size_t length) {
    if (collect_) text_.append(text, length);
  }
  std::uint64_t EventStart() const { return xml_.EventStart(); }

  void EmitUpTo(std::uint64_t to) {
    if (to <= emitted_) return;
    out_(std::string_view(window_).substr(static_cast<std::size_t>(emitted_ - windowBase_),
                                          static_cast<std::size_t>(to - emitted_)));
    emitted_ = to;
    window_.erase(0, static_cast<std::size_t>(emitted_ - windowBase_));
    windowBase_ = emitted_;
  }

  static std::string_view Local(std::string_view name) {
    auto colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
  }

  void Start(const XML_Char* qname, const XML_Char** attrs) {
    const std::uint64_t start = EventStart();
    lastStartEnd_ = start + xml_.EventLength();
    lastEventEnd_ = lastStartEnd_;
    ++depth_;
    const std::string_view name = Local(qname);
    if (cache_) {
      if (name == "pt") {
        for (int i = 0; attrs[i]; i += 2)
          if (Local(attrs[i]) == "idx")
            std::from_chars(attrs[i + 1], attrs[i + 1] + std::strlen(attrs[i + 1]), ptIndex_);
      } else if (name == "ptCount") {
        for (int i = 0; attrs[i]; i += 2)
          if (Local(attrs[i]) == "val") {
            std::uint32_t count = 0;
            std::from_chars(attrs[i + 1], attrs[i + 1] + std::strlen(attrs[i + 1]), count);
            if (count != values_.count) differed_ = true;
          }
      }
      collect_ = name == "v" || name == "formatCode";
      text_.clear();
      return;
    }
    if (name == "numRef" || name == "strRef") {
      refDepth_ = depth_;
      area_.reset();
    } else if (name == "f" && refDepth_ == depth_ - 1) {
      collect_ = true;
      text_.clear();
    } else if ((name == "numCache" || name == "strCache") && area_ && refDepth_ == depth_ - 1) {
      const SheetStore* store = source_(area_->sheet);
      if (!store) return;
      auto values = ReadCache(*store, *area_, name == "numCache");
      if (!values) return;
      values_ = std::move(*values);
      EmitUpTo(start);
      cache_ = true;
      cacheDepth_ = depth_;
      numeric_ = name == "numCache";
      prefix_ = std::string(qname, std::string_view(qname).size() - name.size());
      formatCode_ = "General";
      next_ = 0;
    }
  }

  void End(const XML_Char* qname) {
    const std::uint64_t end =
        xml_.EventLength() == 0 ? lastStartEnd_ : EventStart() + xml_.EventLength();
    lastEventEnd_ = end;
    const std::string_view name = Local(qname);
    if (cache_) {
      if (name == "v" && values_.cached) OldValue();
      if (name == "formatCode") formatCode_ = text_;
      collect_ = false;
      if (depth_ == cacheDepth_) {
        if (next_ != values_.points.size() || !values_.cached) differed_ = true;
        std::string xml;
        AppendCacheXml(xml, prefix_, numeric_, formatCode_, values_, out_);
        out_(xml);
        cache_ = false;
        emitted_ = end;
        window_.erase(0, static_cast<std::size_t>(end - windowBase_));
        windowBase_ = end;
        values_ = {};
      }
    } else if (name == "f" && collect_) {
      collect_ = false;
      area_ = ParseAreaRef(text_);
    } else if (depth_ == refDepth_) {
      refDepth_ = -1;
    }
    --depth_;
  }

  // Compares one old cached value with the cell's at the same place.
  void OldValue() {
    if (next_ >= values_.points.size() || values_.points[next_].index != ptIndex_) {
      differed_ = true;
      return;
    }
    const CellView& now = values_.points[next_++].value;
    if (now.kind == CellKind::Number) {
      double old = 0;
      const char* begin = text_.data();
      auto [ptr, ec] = FromChars(begin, begin + text_.size(), old);
      if (ec != std::errc() || ptr != begin + text_.size() || old != now.number) differed_ = true;
    } else if (DecodeEscapes(text_) != now.text) {
      differed_ = true;
    }
  }

  const CacheSource& source_;
  const Sink& out_;
  StreamingXml<CacheRefresher> xml_;

  std::string window_;  // input from windowBase_ on, not yet emitted
  std::uint64_t windowBase_ = 0, emitted_ = 0, lastEventEnd_ = 0, lastStartEnd_ = 0;
  int depth_ = 0, refDepth_ = -1, cacheDepth_ = 0;
  bool collect_ = false;
  std::string text_;
  std::optional<AreaRef> area_;

  bool cache_ = false, numeric_ = true, differed_ = false;
  std::string prefix_, formatCode_;
  CacheValues values_;
  std::size_t next_ = 0;
  std::uint32_t ptIndex_ = 0;
};

}  // namespace

bool RefreshChartCaches(const std::function<void(const Sink&)>& feed, const CacheSource& source,
                        const std::string& file, const std::string& part, const Sink& out) {
  CacheRefresher refresher(source, file, part, out);
  feed([&](std::string_view piece) { refresher.Feed(piece, false); });
  refresher.Feed({}, true);
  return refresher.Differed();
}

}  // namespace vireo::xlsx
