#pragma once

#include "platform/PortMap.h"
#include "platform/serial/SerialDevice.h"
#include "tools/common/EmulatedModem.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Points the port map at a private folder for the life of a test program.
inline void useTemporaryRuntimeFolder(QTemporaryDir& dir)
{
    QVERIFY(dir.isValid());
    qputenv("VEVA_SMS_RUNTIME_DIR", QFile::encodeName(dir.path()));
}

// Starts a modem and publishes it as COM<number>.
inline std::unique_ptr<EmulatedModem> startModem(int number, const EmulatedModem::Config& config = {})
{
    auto modem = std::make_unique<EmulatedModem>(config);
    QString error;
    if (!modem->start(&error)) {
        qWarning("modem did not start: %s", qPrintable(error));
        return nullptr;
    }
    if (!PortMap::publish({number, modem->devicePath(), QString()}, &error)) {
        qWarning("port not published: %s", qPrintable(error));
        return nullptr;
    }
    return modem;
}

// Writes a command and reads until `until` shows up or a wait of timeoutMs passes.
inline QByteArray exchange(SerialDevice& device, const QByteArray& command, const QByteArray& until,
                           int timeoutMs = 1000)
{
    if (device.write(command, timeoutMs) != 0)
        return "<write failed>";
    QByteArray got;
    QByteArray chunk;
    while (!got.contains(until)) {
        if (device.waitForCharacter(timeoutMs, nullptr) != SerialDevice::WaitResult::CharacterArrived)
            break;
        if (device.read(chunk) != 0)
            break;
        got += chunk;
    }
    return got;
}
