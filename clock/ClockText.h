#pragma once
// What tamo-clock shows and how a line of it is written: the format to expand (given, stored
// or built in), the line as bare text, as Pango markup or as waybar's JSON, and writes to
// standard output and error that survive interrupted and partial writes.

#include "clock/ClockOptions.h"

#include "runtime/DateValue.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace vb {
class SettingsStore;
}

namespace clk {

// The format a host shows: `given` when there is one; otherwise the stored format when the
// stored enable flag is exactly "1"; otherwise the built-in clock. A store that cannot be read
// gives the built-in clock and one line on standard error.
QString displayFormat(const vb::SettingsStore& store, const std::optional<QString>& given);
// The stored part of it: the stored format when the flag is "1", else the built-in clock.
// Raises what the store raises.
QString storedDisplayFormat(const vb::SettingsStore& store);

// A clock for the expander that reads the instant at its first call and gives the same one
// after, so that a text and its tooltip show one moment; `held` keeps it. A read that raises
// keeps nothing: the expander reports it, and the next call reads again.
std::function<vb::DateValue()> heldClock(std::optional<vb::DateValue>& held);

// The text with every lone surrogate, which UTF-8 cannot carry, replaced by U+FFFD (Qt's own
// conversion would write "?").
QString withoutLoneSurrogates(const QString& text);

// `text` as a JSON string literal: quotes, backslashes and control characters escaped, the
// rest in UTF-8; a lone surrogate, which UTF-8 cannot carry, becomes U+FFFD.
QByteArray jsonString(const QString& text);

// `text` as Pango markup that shows it as it is: "&", "<" and ">" as entities, and with
// `escapeBar` "|" as "&#124;" too, for Argos, which cuts a line at the first "|".
QString markupEscaped(const QString& text, bool escapeBar);

// How a tooltip comes to outputLine: a text to escape, or markup already (the calendar).
enum class TooltipForm {
    Text,
    Markup,
};

// One output line, LF-terminated, in UTF-8 (lone surrogates as U+FFFD): the bare text; the
// text as markup (Pango); or {"text": "...", "tooltip": "..."} with both as markup (Json, the
// tooltip only when there is one). Only Json shows the tooltip.
QByteArray outputLine(const QString& text, LineForm form, const std::optional<QString>& tooltip = std::nullopt,
                      TooltipForm tooltipForm = TooltipForm::Text);

// Writes all of `bytes` to a file descriptor, going on after interrupted and partial writes.
// False when the descriptor refuses them (a closed pipe: EPIPE).
bool writeAll(int fd, const QByteArray& bytes);

// "tamo-clock: <what>" and LF on standard error.
void errorLine(const QString& what);

} // namespace clk
