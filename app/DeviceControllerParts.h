#pragma once

// What the files of the device controller share: the hop to the user-interface
// thread and the texts shown from more than one of them. Internal to the controller.

#include "DeviceController.h"

#include <QMetaObject>
#include <QString>
#include <QThread>

#include <utility>

namespace DeviceControllerParts {

inline const QString kNoDevice = QStringLiteral("No Mobile Phone Device is selected.");
inline const QString kRunDesktopManager =
    QStringLiteral("Please run BlackBerry\u2122 Desktop Manager\u2122 to use Ulmex Veva SMS Software successfully.");

} // namespace DeviceControllerParts

template <typename F> void DeviceController::onGui(F&& work)
{
    if (QThread::currentThread() == thread())
        work();
    else
        QMetaObject::invokeMethod(this, std::forward<F>(work), Qt::BlockingQueuedConnection);
}
