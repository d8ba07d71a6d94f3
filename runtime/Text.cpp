#include "runtime/Text.h"

#include "runtime/Error.h"

namespace vb {

QString Mid(const QString& text, qint32 start)
{
    if (start < 1)
        raiseError(InvalidArgument);
    if (start > text.size())
        return {};
    return text.mid(start - 1);
}

QString Mid(const QString& text, qint32 start, qint32 length)
{
    if (start < 1 || length < 0)
        raiseError(InvalidArgument);
    if (start > text.size())
        return {};
    return text.mid(start - 1, length);
}

QString Left(const QString& text, qint32 length)
{
    if (length < 0)
        raiseError(InvalidArgument);
    return text.left(length);
}

qint32 InStr(qint32 start, const QString& text, const QString& find)
{
    if (start < 1)
        raiseError(InvalidArgument);
    if (start > text.size() + 1)
        return 0;
    const qsizetype at = text.indexOf(find, start - 1, Qt::CaseSensitive);
    return at < 0 ? 0 : static_cast<qint32>(at + 1);
}

qint32 Len(const QString& text)
{
    return static_cast<qint32>(text.size());
}

QString Trim(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString ChrW(qint32 code)
{
    if (code < 0 || code > 0xFFFF)
        raiseError(InvalidArgument);
    return QString(QChar(static_cast<char16_t>(code)));
}

} // namespace vb
