#pragma once

// vexs-cli report -o FILE.pdf [--compare FILE.json] [--engineer NAME]: the
// commissioning report of the connected recorder as a PDF.

#include "cli/cli_options.h"

#include <QCoreApplication>

#include <memory>

namespace vexs::cli {

// A QGuiApplication on the offscreen platform (unless QT_QPA_PLATFORM names
// another) for the report, whose pages are laid out with fonts; the plain
// QCoreApplication for every other command, which must start where there
// is no display and no platform plugin.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv);

// The path is checked and the reference file read before anything is sent;
// the report is claimed only once its file is written whole. The exit
// status: 0 written, 2 anything else (with a message on stderr). A TCP
// socket failure propagates.
int runReport(const Options &options);

} // namespace vexs::cli
