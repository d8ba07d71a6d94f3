#pragma once
// The runtime's error model: every fallible runtime operation raises one error type, a number
// with a description, as the classic BASIC runtime does. Procedures that want to report and
// resume hold a Guard (Guard.h); an error that nobody handles ends the program (Program.h).
// Depends on Qt Core only.

#include <QString>

namespace vb {

enum ErrorNumber : qint32 {
    InvalidArgument = 5,
    Overflow = 6,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    FileNotFound = 53,
    DiskFull = 61,
    PermissionDenied = 70,
    PathFileAccessError = 75,
    EntryPointNotFound = 453,
};

struct Error {
    qint32 number = 0;
    QString description;
};

// The runtime's own wording for a number; empty for numbers it does not know.
QString errorDescription(qint32 number);

// Throws Error{number, errorDescription(number)}.
[[noreturn]] void raiseError(qint32 number);
// Throws Error{number, description}.
[[noreturn]] void raiseError(qint32 number, const QString& description);

} // namespace vb
