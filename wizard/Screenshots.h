// Renders every page and dialog into PNG files, so that the screens can be looked at without a
// display (TROX_WIZARD_SCREENSHOTS=DIR). Settings go to a throw-away folder meanwhile.
#pragma once

#include <QString>

// 0 when every picture was written.
int RenderScreenshots(const QString& folder);
