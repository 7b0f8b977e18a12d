// The set-up report as a PDF, drawn with Qt's PDF writer: A4 pages, the device, routing grid and link
// groups first, then the channels, each with its settings beside its response picture, three or more
// channels a page.
#pragma once

#include "panel/SetupReport.h"

#include <string>

namespace quellmarin {

// Writes the PDF (through a temporary file renamed over `path`); the pages it took, or 0 when it could
// not be written. Needs a Qt GUI application object; `EnsureGuiForReports` makes one in a program
// that has none (the command-line tool), on the offscreen platform unless another was chosen.
int WriteReportPdf(const SetupReport& report, const std::string& path);
void EnsureGuiForReports();

} // namespace quellmarin
