#include "SerialErrors.h"

#include <cerrno>

namespace SerialErrors {

quint32 fromErrno(int errnoValue)
{
    switch (errnoValue) {
    case 0:
        return Success;
    case ENOENT:
    case ENODEV:
        return FileNotFound;
    case EACCES:
    case EPERM:
        return AccessDenied;
    case EBADF:
        return InvalidHandle;
    case EBUSY:
    case EWOULDBLOCK:
        return SharingViolation;
    case ETIMEDOUT:
        return SemTimeout;
    case ECANCELED:
        return OperationAborted;
    case EIO:
    case ENXIO:
        return IoDevice;
    default:
        return GenFailure;
    }
}

QString systemMessage(quint32 error)
{
    switch (error) {
    case Success:
        return QStringLiteral("The operation completed successfully.");
    case FileNotFound:
        return QStringLiteral("The system cannot find the file specified.");
    case AccessDenied:
        return QStringLiteral("Access is denied.");
    case InvalidHandle:
        return QStringLiteral("The handle is invalid.");
    case GenFailure:
        return QStringLiteral("A device attached to the system is not functioning.");
    case SharingViolation:
        return QStringLiteral("The process cannot access the file because it is being used by another process.");
    case CallNotImplemented:
        return QStringLiteral("This function is not supported on this system.");
    case SemTimeout:
        return QStringLiteral("The semaphore timeout period has expired.");
    case OperationAborted:
        return QStringLiteral("The I/O operation has been aborted because of either a thread exit or an application "
                              "request.");
    case IoDevice:
        return QStringLiteral("The request could not be performed because of an I/O device error.");
    default:
        return QString();
    }
}

} // namespace SerialErrors
