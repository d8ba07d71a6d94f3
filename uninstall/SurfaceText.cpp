#include "uninstall/SurfaceText.h"

#include <QRegularExpression>

namespace unzp {

void SurfaceText::print(const QString& text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    lines_ += text.split(lineBreak);
}

} // namespace unzp
