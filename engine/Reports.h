#pragma once
// The error reports: a modal box that tells the user the error number, the failing place, the
// program version and the error's description, and asks for these details to be sent to the
// support contact. The engine report serves the engine procedures and the stored-format reader;
// the window report is built here for the settings window's ErrorMsg.
// Depends on the runtime only.

#include "runtime/Error.h"
#include "runtime/Program.h"

#include <QString>

namespace zp {

// Title "エラー - TamoZP", style 4112 (critical, system-modal).
QString reportTitle();
inline constexpr int kReportStyle = 4112;

// The five CR LF separated lines of the engine report ("場所:<place>-ZPModule1.33.2485").
QString engineReportText(const QString& sPlace, const vb::Error& error,
                         const vb::Version& version = vb::programVersion());
// The five CR LF separated lines of the window report ("場所:<place> - TamoZP133").
QString windowReportText(const QString& sPlace, const vb::Error& error,
                         const vb::Version& version = vb::programVersion());

// Shows the engine report through the message-box service; returns when it is closed.
void engineReport(const QString& sPlace, const vb::Error& error);
// Shows the window report through the message-box service; returns when it is closed.
void windowReport(const QString& sPlace, const vb::Error& error);

} // namespace zp
