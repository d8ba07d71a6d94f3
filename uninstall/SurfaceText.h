#pragma once
// The text a window writes straight on its surface, kept as lines so that the window can paint
// it again whenever it is exposed.

#include <QString>
#include <QStringList>

namespace unzp {

class SurfaceText {
public:
    // Writes one line of text from the current position, which then moves to the start of the
    // next line. A CR LF inside the text starts a new line; so does a lone CR or LF, which the
    // surface has no glyph for.
    void print(const QString& text);
    // Clears the surface; the position returns to the top-left corner.
    void clear() { lines_.clear(); }

    // The lines from the top; the current position is at the start of line lines().size().
    const QStringList& lines() const { return lines_; }

private:
    QStringList lines_;
};

} // namespace unzp
