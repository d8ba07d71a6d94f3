#include "runtime/Error.h"

namespace vb {

QString errorDescription(qint32 number)
{
    switch (number) {
    case InvalidArgument: return QStringLiteral("プロシージャの呼び出し、または引数が不正です。");
    case Overflow: return QStringLiteral("オーバーフローしました。");
    case SubscriptOutOfRange: return QStringLiteral("インデックスが有効範囲にありません。");
    case TypeMismatch: return QStringLiteral("型が一致しません。");
    case FileNotFound: return QStringLiteral("ファイルが見つかりません。");
    case DiskFull: return QStringLiteral("ディスクの空き容量が不足しています。");
    case PermissionDenied: return QStringLiteral("書き込みできません。");
    case PathFileAccessError: return QStringLiteral("パス名が無効です。");
    case EntryPointNotFound: return QStringLiteral("DLL エントリ ポイントが見つかりません。");
    default: return {};
    }
}

void raiseError(qint32 number)
{
    throw Error{number, errorDescription(number)};
}

void raiseError(qint32 number, const QString& description)
{
    throw Error{number, description};
}

} // namespace vb
