#include "SerialTestSupport.h"

#include "platform/serial/PortLock.h"
#include "platform/serial/SerialErrors.h"

#include <QFile>
#include <QProcess>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// Ports shared with other serial programs: UUCP lock files and the exclusive flag.
class TestPortLock : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime;
    QTemporaryDir m_locks;
    std::unique_ptr<EmulatedModem> m_modem;

    QString lockFile() const { return PortLock::lockFileFor(m_modem->devicePath()); }
    static QByteArray pidText(qint64 pid) { return QByteArray::number(pid).rightJustified(10, ' ') + '\n'; }
    QByteArray lockContent() const
    {
        QFile f(lockFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    void writeLock(const QByteArray& content)
    {
        QFile f(lockFile());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    // Another program that takes the port's lock the way serial programs do, and keeps it.
    static void startHolder(QProcess& holder, const QString& file)
    {
        holder.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"), QStringLiteral("printf '%10d\\n' $$ > '%1'; exec sleep 30").arg(file)});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY(QFile::exists(file));
    }

private slots:
    void initTestCase()
    {
        useTemporaryRuntimeFolder(m_runtime);
        qputenv("VEVA_SMS_LOCK_DIR", QFile::encodeName(m_locks.path()));
    }
    void init()
    {
        m_modem = startModem(140);
        QVERIFY(m_modem);
    }
    void cleanup()
    {
        QFile::remove(lockFile());
        PortMap::withdraw(140);
        m_modem.reset();
    }

    void lockFilesAreNamedAfterTheDeviceNode()
    {
        QCOMPARE(PortLock::lockFileFor(QStringLiteral("/dev/ttyUSB250")), m_locks.path() + "/LCK..ttyUSB250");
        const QString pty = m_modem->devicePath();
        QVERIFY(pty.startsWith(QLatin1String("/dev/pts/")));
        QCOMPARE(lockFile(), m_locks.path() + "/LCK..pts_" + pty.mid(9));
        // A link to the node shares its lock.
        const QString link = m_locks.path() + QStringLiteral("/modem-link");
        QVERIFY(QFile::link(pty, link));
        QCOMPARE(PortLock::lockFileFor(link), lockFile());
    }

    // What an existing lock file means for the next taker.
    void takingALock_data()
    {
        QTest::addColumn<QString>("existing"); // "none", "live", "dead", "damaged"
        QTest::addColumn<bool>("taken");
        QTest::newRow("no lock") << "none" << true;
        QTest::newRow("held by a live process") << "live" << false;
        QTest::newRow("stale: its process is gone") << "dead" << true;
        QTest::newRow("stale: no PID in it") << "damaged" << true;
    }

    void takingALock()
    {
        QFETCH(QString, existing);
        QFETCH(bool, taken);
        QProcess other;
        QByteArray before;
        if (existing == QLatin1String("live")) {
            startHolder(other, lockFile());
            before = lockContent();
        } else if (existing == QLatin1String("dead")) {
            other.start(QStringLiteral("true"));
            QVERIFY(other.waitForFinished());
            writeLock(pidText(other.processId()));
        } else if (existing == QLatin1String("damaged")) {
            writeLock("garbage\n");
        }

        SerialDevice device;
        const quint32 error = device.openPath(m_modem->devicePath());
        if (taken) {
            QCOMPARE(error, quint32(SerialErrors::Success));
            QCOMPARE(lockContent(), pidText(::getpid()));
            QCOMPARE(PortLock::holderOf(m_modem->devicePath()), qint64(::getpid()));
        } else {
            QCOMPARE(error, quint32(SerialErrors::SharingViolation));
            QCOMPARE(lockContent(), before);
            QCOMPARE(PortLock::holderOf(m_modem->devicePath()), other.processId());
            const PortUse use = PortUse::of(m_modem->devicePath());
            QVERIFY(use.inUse);
            QCOMPARE(use.text(), QStringLiteral("In use by another program"));
            QCOMPARE(m_modem->commandCount(), 0);
            other.kill();
            other.waitForFinished();
            // Its holder gone, the lock is stale and the port ours.
            QCOMPARE(device.openPath(m_modem->devicePath()), quint32(SerialErrors::Success));
        }
        QCOMPARE(exchange(device, "AT\r", "OK").contains("OK"), true);
        device.close();
        QVERIFY(!QFile::exists(lockFile()));
    }

    // Every way a device lets go of its port removes the lock: close, a failed
    // reopen elsewhere, the destructor.
    void theLockGoesWithThePort()
    {
        {
            SerialDevice device;
            QCOMPARE(device.openPath(m_modem->devicePath()), quint32(SerialErrors::Success));
            QVERIFY(QFile::exists(lockFile()));
            QCOMPARE(device.openPath(QStringLiteral("/dev/no-such-port")), quint32(SerialErrors::FileNotFound));
            QVERIFY(!QFile::exists(lockFile()));
            QCOMPARE(device.openPath(m_modem->devicePath()), quint32(SerialErrors::Success));
        }
        QVERIFY(!QFile::exists(lockFile()));
        QVERIFY(!PortUse::of(m_modem->devicePath()).inUse);
    }

    // The emulated modem can hold its port's lock the way another program would.
    void theEmulatedModemHoldsItsLock()
    {
        QString error;
        QVERIFY2(m_modem->setLockHeld(true, &error), qPrintable(error));
        QVERIFY(PortUse::of(m_modem->devicePath()).inUse);
        SerialDevice device;
        QCOMPARE(device.openPath(m_modem->devicePath()), quint32(SerialErrors::SharingViolation));
        QVERIFY(m_modem->setLockHeld(false));
        QVERIFY(!QFile::exists(lockFile()));
        QCOMPARE(device.openPath(m_modem->devicePath()), quint32(SerialErrors::Success));
        QVERIFY(PortUse::of(m_modem->devicePath()).inUse); // we hold it now
        QCOMPARE(m_modem->commandCount(), 0);
    }

    // A program that set the exclusive flag keeps us out, even a privileged us.
    void anExclusiveHolderKeepsThePort()
    {
        const int fd = ::open(QFile::encodeName(m_modem->devicePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(::ioctl(fd, TIOCEXCL), 0);
        QVERIFY(PortUse::of(m_modem->devicePath()).inUse);
        SerialDevice device;
        QCOMPARE(device.openPath(m_modem->devicePath()), quint32(SerialErrors::SharingViolation));
        QVERIFY(!QFile::exists(lockFile()));
        QCOMPARE(::ioctl(fd, TIOCNXCL), 0);
        ::close(fd);
        QVERIFY(!PortUse::of(m_modem->devicePath()).inUse);
        QCOMPARE(device.openPath(m_modem->devicePath()), quint32(SerialErrors::Success));
        QCOMPARE(m_modem->commandCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPortLock)
#include "tst_portlock.moc"
