#pragma once
// The moon age computed from a date value instead of a date text. The expander uses it: its date
// text is made from its date value, so reading the parts back from the value gives the same
// year, month and day without formatting and re-reading a text for every token.

#include "runtime/DateValue.h"

namespace zp {

qint16 moonAgeOf(const vb::DateValue& date);

} // namespace zp
