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

// Moves the top-level `window` beside `anchor`, never over it: to its right,
// else below it, else to its left, where the screen has room; else as far
// right as the screen allows.
inline void PlaceBeside(QWidget* window, const QWidget* anchor) {
  constexpr int kGap = 8;
  const QRect beside = anchor->frameGeometry();
  // A window not shown yet has no frame: take the anchor's.
  const QSize frame = beside.size() - anchor->geometry().size();
  const QSize size = window->frameGeometry().size() + (window->isVisible() ? QSize() : frame);
  const QRect room = anchor->screen()->availableGeometry();
  auto fits = [&](QPoint at) { return room.contains(QRect(at, size)); };
  const QPoint right(beside.right() + 1 + kGap, beside.top());
  const QPoint below(beside.left(), beside.bottom() + 1 + kGap);
  const QPoint left(beside.left() - kGap - size.width(), beside.top());
  if (fits(right))
    window->move(right);
  else if (fits(below))
    window->move(below);
  else if (fits(left))
    window->move(left);
  else
    window->move(std::max(room.left(), room.right() + 1 - size.width()), beside.top());
}

}  // namespace vireo::gui
