#pragma once
// The expression engine: the format expander and its token procedures. A format string holds
// literal text, backslash escapes and tokens between percent signs; each token is expanded for
// one instant by the procedure its first character selects. Every procedure guards itself and
// reports unexpected failures through the engine report (Reports.h), so expanding never fails.
// Depends on the runtime only.

#include "runtime/DateValue.h"

#include <QString>

#include <functional>

namespace zp {

// The malformed-format sentinel.
inline constexpr char16_t kZPErr[] = u"ZPErr";

// Expands `sFormat` for the clock's current instant. `sTimeKey` receives that instant as "h:n",
// or "h:n:s" when a token shows seconds. A token without its closing "%" gives exactly "ZPErr".
QString FromZPFToShowClk(const QString& sFormat, QString& sTimeKey);
// The same for the instant `now` gives, read once per expansion.
QString FromZPFToShowClk(const QString& sFormat, QString& sTimeKey,
                         const std::function<vb::DateValue()>& now);

// The 12-hour hour (0 to 11) of a "t" token, followed by the token's rest as a date format.
QString APTime(const vb::DateValue& dtValue, const QString& sToken);
// The extended hour of a "k" token (hours below the token's third character read hour + 24),
// followed by the token's rest as a date format.
QString KTime(const vb::DateValue& dtValue, const QString& sToken);

// The moon's age in days, 0 to 29, for a date text (mm-dd-yyyy as the clock gives it).
qint16 MoonAge(const QString& sDate);
// The glyph of a moon age: "*-", " )", "|)", "○", "(|", "( ", "-*", "??" or "".
QString MoonGraphic(qint16 iAge);

// The free share of the resource pool an "RS", "RG" or "RU" token names, as decimal text;
// "0" for any other token or when the resource meter cannot be loaded.
QString FreeSysResource(const QString& sToken);

} // namespace zp
