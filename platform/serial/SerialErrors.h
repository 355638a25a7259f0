#pragma once

#include <QString>
#include <QtGlobal>

// The serial layer reports failures as Win32 error numbers, so the classes
// above it (and their messages) read the same on every backend.
namespace SerialErrors {

enum : quint32
{
    Success = 0,
    FileNotFound = 2,
    AccessDenied = 5,
    InvalidHandle = 6,
    GenFailure = 31,
    SharingViolation = 32,
    CallNotImplemented = 120,
    SemTimeout = 121,
    OperationAborted = 995,
    // Used for EIO, ENXIO and a hang-up of the line (the device went away).
    IoDevice = 1117,
};

// Maps an errno value to the error numbers above; anything not listed gives GenFailure.
quint32 fromErrno(int errnoValue);

// The system's message text for an error number, empty when the system has none.
QString systemMessage(quint32 error);

} // namespace SerialErrors
