// A hidden mode of vireo for the documentation's screenshots: runs a sample
// field data file answered Yes and saves pictures of both windows.
#pragma once

#include <QString>

#include "common/AppFolder.h"

namespace vireo::app {

// Processes the first sample under "Field Data" of `app` (LOOP_BFFB.dat when
// present), then writes main-window.png and rl-dialog.png into `outputFolder`.
// Returns the process exit code.
int RunScreenshotDemo(const vireo::AppFolder& app, const QString& outputFolder);

}  // namespace vireo::app
