#pragma once
// What the two window programs (TamoZP and TamoUnZP) share on the Qt side: the application object
// with the program's one top-level catcher, message boxes as Qt dialogs, Qt's Japanese
// translations, the window font, twips, and the icon. The programs' behaviour lives in their own
// folders; this is only the look and the plumbing. Depends on the runtime and Qt Widgets.

#include "runtime/MessageBox.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QSize>

#include <memory>

class QMessageBox;
class QWidget;

namespace gui {

// Message boxes as modal QMessageBox dialogs, parented to the active window.
class QtMessageBox final : public vb::MessageBoxService {
public:
    int show(const QString& prompt, int style, const QString& title) override;

    // The dialog that show() runs, built but not shown. Style bits: buttons (0 OK, 1 OK Cancel,
    // 2 Abort Retry Ignore, 3 Yes No Cancel, 4 Yes No, 5 Retry Cancel), icon (16 critical,
    // 32 question, 48 exclamation, 64 information), default button (0 first, 256 second,
    // 512 third), 4096 system-modal (application-modal here: there is no system-wide modality).
    // CR LF in the prompt breaks the line; the prompt is plain text, never markup.
    static std::unique_ptr<QMessageBox> build(const QString& prompt, int style,
                                              const QString& title, QWidget* parent = nullptr);
    // The runtime's answer (vbOK, vbYes, vbNo, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore) for the
    // button the user pressed on a dialog from build(); the Esc answer when none was pressed.
    static int answerOf(const QMessageBox& box);
};

// The programs' QApplication. On construction it loads Qt's Japanese translations, sets the
// icon as every window's icon and installs a QtMessageBox as the message-box service (the
// previous service comes back on destruction). Its notify() is the program's one top-level
// catcher: a vb::Error escaping an event handler shows the runtime's message and ends the
// program with status 1 (vb::endWithUnhandledError).
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    ~Application() override;

    bool notify(QObject* receiver, QEvent* event) override;

private:
    QtMessageBox messageBox_;
    vb::MessageBoxService* previousService_ = nullptr;
};

// Loads qtbase_ja from Qt's translations folder into the running application, so that the
// standard buttons read はい, いいえ and so on whatever the locale. False when it is missing.
bool installJapaneseTranslations();

inline constexpr char16_t kWindowFontFamily[] = u"ＭＳ Ｐゴシック";
inline constexpr qreal kWindowFontPoints = 9.6;

// "ＭＳ Ｐゴシック", normal weight, at the given size (the windows use 9.6 points, TamoZP's
// txtSet 10.2). The family is looked up as IPAPGothic, then "Noto Sans CJK JP".
QFont windowFont(qreal points = kWindowFontPoints);

// Twips (1440 to the inch) to pixels at a logical DPI, rounded to the nearest pixel.
int twipsToPixels(int twips, qreal dotsPerInch);
// Sizes and rectangles given in twips, in the device-independent pixels of `widget`'s screen
// (the primary screen when null): horizontal lengths through the screen's horizontal logical
// DPI, vertical ones through its vertical one.
QSize twipsSize(int width, int height, const QWidget* widget = nullptr);
QRect twipsRect(int left, int top, int width, int height, const QWidget* widget = nullptr);

// The programs' icon, a clock face: 32 x 32 pixels in the 16 classic colours.
QIcon applicationIcon();

} // namespace gui
