// Window geometry and fonts as the windows were laid out: positions in twips
// at 15 twips per pixel (96 dots per inch), and the classic Windows faces
// with the system's serif or sans-serif face standing in where missing.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QLabel>
#include <QScreen>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <initializer_list>
#include <vector>

namespace vireo::gui {

inline constexpr int kTwipsPerPixel = 15;

constexpr int Px(int twips) {
  return twips / kTwipsPerPixel;
}

inline void PlaceInTwips(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

enum class Face { Serif, SansSerif };

inline QFont ClassicFont(const QString& family, Face face, double points, bool bold,
                         bool italic = false) {
  QFont font;
  const QString generic =
      face == Face::Serif ? QStringLiteral("serif") : QStringLiteral("sans-serif");
  font.setFamilies({family, generic});
  font.setStyleHint(face == Face::Serif ? QFont::Serif : QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  font.setItalic(italic);
  return font;
}

// A stand-in face can be wider than the classic one: a one-line caption that
// would be cut at its label's width is set a little smaller until it fits.
inline void ShrinkToFit(QLabel* label) {
  QFont font = label->font();
  while (font.pointSizeF() > 6 &&
         QFontMetricsF(font).horizontalAdvance(label->text()) > label->width())
    font.setPointSizeF(font.pointSizeF() - 0.25);
  label->setFont(font);
}

// Moves the top-level `window` beside `anchor`, never over it nor over any
// of the visible windows in `keepClear` (an open dialog): to the right of
// the anchor, else below it, else to its left, then the same around each of
// those windows, where the screen has room; else clear of `keepClear` in a
// corner of the screen; else as far right as the screen allows.
inline void PlaceBeside(QWidget* window, const QWidget* anchor,
                        std::initializer_list<const QWidget*> keepClear = {}) {
  constexpr int kGap = 8;
  // A window not shown yet has no frame: take the anchor's.
  const QSize frame = anchor->frameGeometry().size() - anchor->geometry().size();
  const QSize size = window->frameGeometry().size() + (window->isVisible() ? QSize() : frame);
  const QRect room = anchor->screen()->availableGeometry();
  std::vector<QRect> taken{anchor->frameGeometry()};
  for (const QWidget* other : keepClear)
    if (other && other != window && other->isVisible()) taken.push_back(other->frameGeometry());
  auto clearOf = [&](QPoint at, std::size_t from) {
    const QRect placed(at, size);
    return room.contains(placed) &&
           std::none_of(taken.begin() + from, taken.end(),
                        [&](const QRect& r) { return r.intersects(placed); });
  };
  std::vector<QPoint> places;
  for (const QRect& beside : taken)
    places.insert(places.end(), {QPoint(beside.right() + 1 + kGap, beside.top()),
                                 QPoint(beside.left(), beside.bottom() + 1 + kGap),
                                 QPoint(beside.left() - kGap - size.width(), beside.top())});
  // Without room beside them all: clear of the dialogs at least, over the anchor.
  const QPoint far(room.right() + 1 - size.width(), room.bottom() + 1 - size.height());
  places.insert(places.end(),
                {room.topLeft(), QPoint(far.x(), room.top()), QPoint(room.left(), far.y()), far});
  for (std::size_t from : {std::size_t{0}, std::size_t{1}})
    for (const QPoint at : places)
      if (clearOf(at, from)) return window->move(at);
  window->move(std::max(room.left(), room.right() + 1 - size.width()), taken.front().top());
}

// The text as it fits `width` pixels in `font`, cut in the middle ("…")
// so that the start and the end of a long file name stay.
inline QString ElidedMiddle(const QString& text, const QFont& font, int width) {
  return QFontMetrics(font).elidedText(text, Qt::ElideMiddle, width);
}

}  // namespace vireo::gui
