// Windows that stay on the screen: a remembered place is taken back only
// where a screen still shows the whole window, and no window is larger than
// the screen it opens on, at any scale factor.
#pragma once

#include <QRect>
#include <QString>

class QWidget;

namespace vireo::gui {

// The room of the screen `near` is on (the primary screen without it), less
// the desktop's panels.
QRect AvailableArea(const QWidget* near);

// Shrinks `window` to the room of `near`'s screen (never below its minimum
// size) and, unless its place lies wholly on an available screen, centres
// it on that screen. Call it once the window is shown, when its frame is
// known.
void KeepOnScreen(QWidget* window, const QWidget* near = nullptr);

// The window's place as SaveGeometry kept it under `key` in the settings,
// where it lies wholly on an available screen; else the window is centred on
// `near`'s screen. Either way fitted to that screen. Without a place kept
// the desktop places it.
void RestoreGeometry(QWidget* window, const QString& key, const QWidget* near = nullptr);
// Keeps the window's place and size (without its frame, so that restoring
// it puts it back exactly) for the next start.
void SaveGeometry(const QWidget* window, const QString& key);

}  // namespace vireo::gui
