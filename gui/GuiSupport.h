#pragma once
// What the two window programs (TamoZP and TamoUnZP) share on the Qt side: the application object
// with the program's one top-level catcher, message boxes as Qt dialogs, access keys that act at
// once, Qt's Japanese translations, the window font, twips, fixed-size windows, and the icon.
// The programs' behaviour lives in their own folders; this is only the look and the plumbing.
// Depends on the runtime and Qt Widgets.

#include "runtime/MessageBox.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QSize>

class QWidget;

namespace gui {

// Message boxes as QMessageBox dialogs, parented to the active window, for the styles of
// vb::MsgBoxStyle: OK, or Yes and No (vbDefaultButton2 makes No the default; Esc answers No);
// the icon; every box is application-modal, vbSystemModal included (there is no system-wide
// modality). CR LF in the prompt breaks the line; the prompt is plain text, never markup.
class QtMessageBox final : public vb::MessageBoxService {
public:
    int show(const QString& prompt, int style, const QString& title) override;
};

// The programs' QApplication. On construction it loads Qt's Japanese translations, sets the
// icon as every window's icon, makes access keys click at once (clickAccessKeysAtOnce) and
// installs a QtMessageBox as the message-box service (the previous service comes back on
// destruction). Its notify() is the program's one top-level catcher: a vb::Error escaping an
// event handler shows the runtime's message and ends the program with status 1
// (vb::endWithUnhandledError).
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    ~Application() override;

    bool notify(QObject* receiver, QEvent* event) override;

    // The boxes the program's windows show.
    QtMessageBox& messageBox() { return messageBox_; }

private:
    QtMessageBox messageBox_;
    vb::MessageBoxService* previousService_ = nullptr;
};

// Makes every access key of `app` take effect before the next key is handled. Qt clicks a
// button or check box through an animated click that lands about 100 ms after its access key,
// and a message box does the same for its buttons' bare letters (Y, N): Enter pressed at once
// would run before them, so Alt+D then Enter would store without disabling, and Y then Enter
// would answer No. Here the click lands at once; nothing else about the keys changes.
void clickAccessKeysAtOnce(QApplication& app);

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

// Gives the top-level `window` a fixed size in twips and a title bar with minimise and close
// only: a maximise button on a window that cannot grow would do nothing.
void setFixedWindowSize(QWidget* window, int width, int height);

// The programs' icon, a clock face: 32 x 32 pixels in the 16 classic colours.
QIcon applicationIcon();

} // namespace gui
