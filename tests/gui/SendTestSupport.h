#pragma once

#include "GuiTestSupport.h"

#include "app/CCorvaneDlg.h"
#include "app/DeviceController.h"

#include <QPushButton>
#include <QSignalSpy>

// For the tests of the send command through the main window.

// Shows the window; true once it is on the screen and the controller's
// start-up workers have ended.
inline bool showSettled(CCorvaneDlg* window, DeviceController* controller)
{
    window->show();
    return QTest::qWaitForWindowExposed(window) && controller->waitForWorkers(10000);
}

// Presses "Send Sms" and waits for the run to end and the window to take input
// again. `expectRun`: the press must have started a send worker.
inline void pressSendAndWait(CCorvaneDlg* window, DeviceController* controller, int timeoutMs, bool expectRun = true)
{
    QSignalSpy finished(controller, &DeviceController::sendFinished);
    byId<QPushButton>(window, 1000)->click();
    if (expectRun)
        QVERIFY(controller->isSending());
    QVERIFY(finished.wait(timeoutMs));
    QTRY_VERIFY(window->isEnabled());
}
