#include "runtime/MessageBox.h"

#include "runtime/Program.h"

#include <cstdio>

namespace vb {

namespace {
StderrMessageBox g_stderrBox;
MessageBoxService* g_service = nullptr;
} // namespace

int StderrMessageBox::show(const QString& prompt, int style, const QString& title)
{
    QString text = title;
    text += u'\n';
    text += QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text += u'\n';
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stderr);
    std::fflush(stderr);
    if ((style & 7) == vbYesNo)
        return (style & vbDefaultButton2) ? vbNo : vbYes;
    return vbOK;
}

MessageBoxService& messageBoxService()
{
    return g_service ? *g_service : g_stderrBox;
}

void setMessageBoxService(MessageBoxService* service)
{
    g_service = service;
}

int MsgBox(MessageBoxService& service, const QString& prompt, int style, const QString& title)
{
    return service.show(prompt, style, title.isEmpty() ? programTitle() : title);
}

int MsgBox(const QString& prompt, int style, const QString& title)
{
    return MsgBox(messageBoxService(), prompt, style, title);
}

} // namespace vb
