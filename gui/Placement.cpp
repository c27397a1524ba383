#include "gui/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <algorithm>

namespace vireo::gui {
namespace {

// The frame and title bar the desktop draws around a window, as far as it
// is known: a window's own once shown, else a generous guess.
QMargins FrameOf(const QWidget* window) {
  if (!window || !window->isVisible()) return {8, 32, 8, 8};
  const QRect frame = window->frameGeometry(), client = window->geometry();
  return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
          frame.bottom() - client.bottom()};
}

bool WhollyOnAScreen(const QRect& frame) {
  const auto screens = QGuiApplication::screens();
  return std::any_of(screens.begin(), screens.end(), [&](const QScreen* screen) {
    return screen->availableGeometry().contains(frame);
  });
}

// The window's size shrunk to `room` with its frame, never below its minimum.
QSize FittedSize(const QWidget* window, const QRect& room, const QMargins& frame) {
  return window->size()
      .boundedTo(room.marginsRemoved(frame).size())
      .expandedTo(window->minimumSize());
}

void CentreOn(QWidget* window, const QRect& room, const QMargins& frame) {
  QRect centred(QPoint(), FittedSize(window, room, frame));
  centred.moveCenter(room.center());
  centred.moveTop(std::max(centred.top(), room.top() + frame.top()));
  centred.moveLeft(std::max(centred.left(), room.left() + frame.left()));
  window->setGeometry(centred);
}

}  // namespace

QRect AvailableArea(const QWidget* near) {
  const QScreen* screen = near ? near->screen() : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
}

void KeepOnScreen(QWidget* window, const QWidget* near) {
  const QRect room = AvailableArea(near ? near : window);
  const QMargins frame = FrameOf(window->isVisible() || !near ? window : near);
  const QSize size = FittedSize(window, room, frame);
  if (size != window->size()) window->resize(size);
  const QRect placed =
      window->isVisible() ? window->frameGeometry() : window->geometry().marginsAdded(frame);
  if (!WhollyOnAScreen(placed)) CentreOn(window, room, frame);
}

void RestoreGeometry(QWidget* window, const QString& key, const QWidget* near) {
  const QSettings settings;
  const QRect saved = settings.value(key).toRect();
  const QRect frame =
      settings.value(key + QStringLiteral("Frame"), saved.marginsAdded(FrameOf(nullptr))).toRect();
  const QMargins margins(saved.left() - frame.left(), saved.top() - frame.top(),
                         frame.right() - saved.right(), frame.bottom() - saved.bottom());
  if (!settings.contains(key)) {
    // The first start: the desktop places it, within the screen's room.
    window->resize(FittedSize(window, AvailableArea(near), FrameOf(nullptr)));
  } else if (saved.isValid() && WhollyOnAScreen(frame)) {
    window->setGeometry(saved);
    window->resize(FittedSize(window, AvailableArea(window), margins));
  } else {
    // Off every screen (a monitor gone, a smaller screen, a larger scale).
    CentreOn(window, AvailableArea(near), margins);
  }
}

void SaveGeometry(const QWidget* window, const QString& key) {
  if (!window->isVisible() || window->isMinimized() || window->isMaximized()) return;
  QSettings settings;
  settings.setValue(key, window->geometry());
  settings.setValue(key + QStringLiteral("Frame"), window->frameGeometry());
}

}  // namespace vireo::gui
