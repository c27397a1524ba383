// A hidden mode of vireo for the documentation's screenshots: runs a sample
// field data file answered Yes, adjusts the sample network, and saves
// pictures of the three windows.
#pragma once

#include <QString>

#include "common/AppFolder.h"

namespace vireo::app {

// Processes the first sample under "Field Data" of `app` (LOOP_BFFB.dat when
// present), then writes main-window.png and rl-dialog.png into `outputFolder`;
// then adjusts NETWORK_DAY1.dat and NETWORK_DAY2.gsi in the network window
// and writes network-window.png.
// Returns the process exit code.
int RunScreenshotDemo(const vireo::AppFolder& app, const QString& outputFolder);

}  // namespace vireo::app
