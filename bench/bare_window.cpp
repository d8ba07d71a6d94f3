// The yardsticks of bench_startup: a plain Qt window with the same eighteen controls as
// TamoZP's, at the same places, with Qt's defaults for everything else (no settings, no
// lock, no translations, no font of its own); or, with the argument "label", a plain window
// holding one label with a clock's text, TamoClock's yardstick.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {

enum Kind { Frame, Label, Edit, Button, List, Check };
struct Row {
    Kind kind;
    bool inFrame;
    const char* caption;
    int left, top, width, height; // twips
};
constexpr Row kRows[] = {
    {Frame, false, "フォーマット設定(&F)", 120, 120, 5532, 2772},
    {Label, true, "書式指定(&S)", 240, 360, 1212, 372},
    {Edit, true, "", 1440, 360, 3852, 372},
    {Edit, true, "for the Test ... Click here !", 240, 900, 5052, 372},
    {Button, true, "時刻", 240, 1440, 792, 432},
    {List, false, "", 360, 2100, 1392, 288},
    {Check, true, "秒", 240, 2340, 732, 312},
    {Button, true, "日", 1080, 1440, 672, 432},
    {Button, true, "月", 1800, 1440, 672, 432},
    {Button, true, "Month", 1800, 1920, 672, 432},
    {Button, true, "曜日", 2520, 1440, 672, 432},
    {Button, true, "Day", 2520, 1920, 672, 432},
    {List, false, "", 3420, 1620, 1932, 288},
    {Button, true, "他", 4560, 1920, 672, 432},
    {Button, false, "OK", 1800, 3480, 1212, 432},
    {Button, false, "Cancel", 3120, 3480, 1212, 432},
    {Button, false, "&About", 4500, 3480, 1152, 432},
    {Check, false, "TamoZP設定の無効化(&D)", 120, 3000, 2412, 312},
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "label") == 0) {
        QWidget window;
        window.setWindowTitle(QStringLiteral("TamoClock"));
        QLabel label(QStringLiteral("14:05"), &window);
        label.adjustSize();
        window.show();
        return app.exec();
    }
    const qreal dpi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
    auto px = [dpi](int twips) { return qRound(twips * dpi / 1440.0); };

    QWidget window;
    window.setWindowTitle(QStringLiteral("TamoZP"));
    window.setFixedSize(px(5772), px(4044));
    QWidget* frame = nullptr;
    for (const Row& row : kRows) {
        QWidget* parent = row.inFrame ? frame : &window;
        const QString caption = QString::fromUtf8(row.caption);
        QWidget* w = nullptr;
        switch (row.kind) {
        case Frame: w = frame = new QGroupBox(caption, parent); break;
        case Label: w = new QLabel(caption, parent); break;
        case Edit: w = new QLineEdit(caption, parent); break;
        case Button: w = new QPushButton(caption, parent); break;
        case Check: w = new QCheckBox(caption, parent); break;
        case List: {
            auto* list = new QComboBox(parent);
            for (int i = 0; i < 7; ++i)
                list->addItem(QString::number(i));
            w = list;
            break;
        }
        }
        w->setGeometry(px(row.left), px(row.top), px(row.width), px(row.height));
    }
    window.show();
    return app.exec();
}
