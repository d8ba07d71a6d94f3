#include "gui/GuiSupport.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <QWidget>

namespace gui {

bool installJapaneseTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QFont windowFont(qreal points)
{
    // The family the windows name is rarely installed here; these two draw the same text.
    static const bool substituted = [] {
        QFont::insertSubstitutions(QString::fromUtf16(kWindowFontFamily),
                                   {QStringLiteral("IPAPGothic"),
                                    QStringLiteral("Noto Sans CJK JP")});
        return true;
    }();
    (void)substituted;
    QFont font(QString::fromUtf16(kWindowFontFamily));
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

int twipsToPixels(int twips, qreal dotsPerInch)
{
    return qRound(twips * dotsPerInch / 1440.0);
}

namespace {
const QScreen* screenOf(const QWidget* widget)
{
    const QScreen* screen = widget ? widget->screen() : nullptr;
    return screen ? screen : QGuiApplication::primaryScreen();
}
} // namespace

QSize twipsSize(int width, int height, const QWidget* widget)
{
    const QScreen* screen = screenOf(widget);
    return {twipsToPixels(width, screen->logicalDotsPerInchX()),
            twipsToPixels(height, screen->logicalDotsPerInchY())};
}

QRect twipsRect(int left, int top, int width, int height, const QWidget* widget)
{
    const QScreen* screen = screenOf(widget);
    const qreal x = screen->logicalDotsPerInchX();
    const qreal y = screen->logicalDotsPerInchY();
    return {twipsToPixels(left, x), twipsToPixels(top, y), twipsToPixels(width, x),
            twipsToPixels(height, y)};
}

void setFixedWindowSize(QWidget* window, int width, int height)
{
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    window->setFixedSize(twipsSize(width, height, window));
}

QIcon applicationIcon()
{
    // Only the 32-pixel image: this Qt has no SVG icon engine, and the scalable drawing is
    // there for the desktop's icon theme.
    return QIcon(QStringLiteral(":/tamozp/tamozp.png"));
}

} // namespace gui
