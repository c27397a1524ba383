// A hidden mode of vireo for the documentation's screenshots, taken as the
// screen shows them (run it under a window manager): the main window after
// the real DNA03 job with its failed checks, the Input RL dialog beside the
// main window after a sample run answered Yes, and the network window with
// the sample network opened as a job and adjusted.
#pragma once

#include <QString>

#include "common/AppFolder.h"

namespace vireo::app {

// Works on the files under "Field Data" of `app`: the DNA03 job
// (OSGeoLabBp_tutorials_test.gsi, else the first .gsi file), LOOP_BFFB.dat,
// NETWORK_DAY1.dat and NETWORK_DAY2.gsi. Writes main-window.png,
// rl-dialog.png and network-window.png into `outputFolder`. Returns the
// process exit code.
int RunScreenshotDemo(const vireo::AppFolder& app, const QString& outputFolder);

}  // namespace vireo::app
