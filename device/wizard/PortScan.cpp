#include "PortScan.h"

#include "platform/serial/PortLock.h"
#include "platform/serial/SerialPortList.h"

#include <QMutex>

namespace {

QMutex timingMutex;
ScanTiming timingNow;

} // namespace

ScanTiming ScanTiming::current()
{
    QMutexLocker lock(&timingMutex);
    return timingNow;
}

void ScanTiming::setCurrent(const ScanTiming& timing)
{
    QMutexLocker lock(&timingMutex);
    timingNow = timing;
}

namespace PortScanText {

QString portName(int number)
{
    return QStringLiteral("COM%1").arg(number);
}

int portNumber(const QString& name)
{
    if (!name.startsWith(QLatin1String("COM")))
        return 0;
    bool ok = false;
    const int number = name.mid(3).toInt(&ok);
    return ok ? number : 0;
}

QString modemDetails(const QString& model, int number)
{
    return model + QStringLiteral(" Modem at ") + portName(number);
}

QString unknownDetails(int number)
{
    return QStringLiteral("Unknown Device on ") + portName(number);
}

} // namespace PortScanText

void PortScan::hold()
{
    std::lock_guard lock(m_mutex);
    m_hold = true;
}

void PortScan::release()
{
    {
        std::lock_guard lock(m_mutex);
        m_hold = false;
    }
    m_wake.notify_all();
}

void PortScan::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_port.cancelWait();
}

bool PortScan::waitWhileHeld()
{
    std::unique_lock lock(m_mutex);
    if (m_hold && !m_stop) {
        m_parked = true;
        m_wake.wait(lock, [this] { return !m_hold || m_stop; });
        m_parked = false;
    }
    return !m_stop;
}

bool PortScan::pause(int ms)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
    return !m_stop;
}

bool PortScan::probe(int number, QString* model)
{
    // A port that cannot be opened or fails mid-way simply does not answer.
    try {
        if (!m_port.Probe(number, m_timing.probeTimeoutMs))
            return false;
    } catch (const CSMSException&) {
        return false;
    }
    if (model && !m_stop) {
        try {
            *model = m_port.QueryModel();
        } catch (const CSMSException&) {
            model->clear();
        }
    }
    return true;
}

void PortScan::run(const Sink& sink)
{
    using namespace PortScanText;
    const CSMSSerialPort::PortList ports = CSMSSerialPort::EnumeratePorts();
    sink.started(int(ports.numbers.size()));
    for (int k = 0; k < ports.numbers.size(); ++k) {
        if (!waitWhileHeld())
            break;
        const int number = ports.numbers[k];
        const QString description = ports.descriptions.value(k);
        sink.stepped(k);

        // A port another program holds is listed but never probed: our AT would garble its talk.
        // A described built-in port is never opened by the scan, so not to look either.
        const PortUse use =
            PortUse::of(SerialPortList::devicePathFor(number), !description.contains(communicationsPort));
        if (use.inUse) {
            sink.rowReady(k, number, description.isEmpty() ? unknownDetails(number) : description);
            sink.statusReady(k, use.text());
            if (!pause(m_timing.settleMs))
                break;
            continue;
        }

        QString details = description;
        if (details.isEmpty()) {
            QString model;
            details = probe(number, &model) ? modemDetails(model, number) : unknownDetails(number);
        }
        if (m_stop)
            break;
        sink.rowReady(k, number, details);

        QString status;
        if (details.contains(communicationsPort))
            status = requestTimeout;
        else if (!probe(number, nullptr))
            status = cannotAccess;
        m_port.Close();
        if (m_stop)
            break;
        sink.statusReady(k, status);
        if (!pause(m_timing.settleMs))
            break;
    }
    m_port.Close();
}
