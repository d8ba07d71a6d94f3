#pragma once
// What the settings window's token buttons insert: the fixed hour styles of cboHour, the token
// palette of cboSet with its codes, and the token text each cmdSet button builds. Kept apart
// from the widgets so the window's slots only read their controls and apply the result.
// Depends on the runtime only (Qt Core).

#include "runtime/Program.h"

#include <QString>
#include <QStringView>

#include <array>

namespace zp {

// cboHour's items; the list index is the hour style.
inline constexpr std::array<QStringView, 7> kHourStyles = {
    u"12時間制", u"24時間制", u"25", u"26", u"27", u"28", u"29",
};
// The style cboHour shows at every start.
inline constexpr int kDefaultHourStyle = 1;

// The palette as the load handler builds it: each item goes to the top of cboSet, in this
// order, so the list ends reversed ("月齢" first).
inline constexpr std::array<QStringView, 12> kPaletteInsertOrder = {
    u"Userリソース", u"GDIリソース", u"Sysリソース", u"年号頭文字", u"年号", u"西暦2桁",
    u"西暦4桁", u"第x週", u"A/P", u"AM/PM", u"月の形", u"月齢",
};
// sSetCode: the token code of each palette item, by the list's final index.
inline constexpr std::array<QStringView, 12> kSetCodes = {
    u"o", u"rr", u"AM/PM", u"A/P", u"ww", u"yyyy", u"yy", u"ggg", u"g", u"RS", u"RG", u"RU",
};

// The time button's token: "h:nn", after "tt_" for style 0 or "kk<style - 1>" for styles 2
// and above, then ":ss" with seconds.
QString timeToken(int hourStyle, bool withSeconds);

// sSetCode: the window's table of palette codes, filled at load.
using SetCodes = std::array<QString, 12>;

// The token text of cmdSet(index), without its percent signs: 0 the time token, 1 to 5 the
// fixed date codes, 6 the code of the palette item `paletteIndex`. Raises 9 for an index
// outside 0 to 6, or, for 6, a palette index outside 0 to 11 (-1: nothing selected).
QString tokenText(qint16 index, int hourStyle, bool withSeconds, const SetCodes& sSetCode,
                  int paletteIndex);

// The About box's prompt: name and version (1.33.2485), the component line, an empty line and
// the ownership notice, joined by CR LF.
QString aboutText(const vb::Version& version = vb::programVersion());

} // namespace zp
