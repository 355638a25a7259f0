#include "SerialTestSupport.h"

#include "platform/serial/SerialErrors.h"
#include "platform/serial/SerialPortList.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cerrno>
#include <thread>

class TestSerialDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void parsePortName_data();
    void parsePortName();
    void everyErrorHasASystemMessage();

    void machinePortsFromSysfs();
    void portMapEntriesJoinAndWinOverMachinePorts();

    void missingPortIsFileNotFound();
    void silentLineTimesOutAndCanBeCancelled();

private:
    static void makeFile(const QString& path, const QByteArray& content);
    QTemporaryDir m_runtime;
};

void TestSerialDevice::initTestCase()
{
    useTemporaryRuntimeFolder(m_runtime);
}

void TestSerialDevice::cleanup()
{
    QDir(m_runtime.path() + QStringLiteral("/ports")).removeRecursively();
}

void TestSerialDevice::makeFile(const QString& path, const QByteArray& content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

void TestSerialDevice::parsePortName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected"); // -1: skipped

    QTest::newRow("two digits") << "COM10" << 10;
    QTest::newRow("leading zero") << "COM007" << 7;
    QTest::newRow("letter after COM") << "COMx1" << -1;
    QTest::newRow("other device") << "LPT1" << -1;
    QTest::newRow("COM alone") << "COM" << -1;
    QTest::newRow("lower case") << "com3" << -1;
    QTest::newRow("trailing letter") << "COM3a" << -1;
    QTest::newRow("sign") << "COM-3" << -1;
    QTest::newRow("beyond int") << "COM99999999999" << -1;
}

void TestSerialDevice::parsePortName()
{
    QFETCH(QString, name);
    QFETCH(int, expected);
    const std::optional<int> number = SerialPortList::parsePortName(name);
    QCOMPARE(number.value_or(-1), expected);
}

void TestSerialDevice::everyErrorHasASystemMessage()
{
    // Whatever errno the layer meets, the error it reports must have a message to show.
    for (int e = 1; e < 134; ++e) {
        const quint32 code = SerialErrors::fromErrno(e);
        QVERIFY2(code != SerialErrors::Success, qPrintable(QString::number(e)));
        QVERIFY2(!SerialErrors::systemMessage(code).isEmpty(), qPrintable(QString::number(e)));
    }
    QCOMPARE(SerialErrors::fromErrno(EBUSY), quint32(SerialErrors::SharingViolation));
    QCOMPARE(SerialErrors::fromErrno(ENOENT), quint32(SerialErrors::FileNotFound));
    QCOMPARE(SerialErrors::fromErrno(EPERM), quint32(SerialErrors::AccessDenied));
}

void TestSerialDevice::machinePortsFromSysfs()
{
    QTemporaryDir sys;
    const QString tty = sys.path() + QStringLiteral("/class/tty");
    makeFile(tty + QStringLiteral("/ttyS0/type"), "4\n");
    makeFile(tty + QStringLiteral("/ttyS0/device/uevent"), "");
    makeFile(tty + QStringLiteral("/ttyS1/type"), "0\n"); // no UART at that address
    makeFile(tty + QStringLiteral("/ttyS1/device/uevent"), "");
    makeFile(tty + QStringLiteral("/ttyS2/type"), "4\n"); // no device at all
    makeFile(tty + QStringLiteral("/ttyS40/device/uevent"), "");
    makeFile(tty + QStringLiteral("/tty0/dev"), "4:0\n");
    const QString usbDevice = sys.path() + QStringLiteral("/devices/usb1/1-1");
    makeFile(usbDevice + QStringLiteral("/product"), "FT232R USB UART\n");
    makeFile(usbDevice + QStringLiteral("/1-1:1.0/ttyUSB0/uevent"), "");
    QVERIFY(QDir().mkpath(tty + QStringLiteral("/ttyUSB3")));
    QVERIFY(QFile::link(usbDevice + QStringLiteral("/1-1:1.0/ttyUSB0"), tty + QStringLiteral("/ttyUSB3/device")));
    makeFile(tty + QStringLiteral("/ttyACM1/device/uevent"), "");

    const QList<SerialPortList::Port> ports = SerialPortList::machinePorts(tty);
    QStringList seen;
    for (const SerialPortList::Port& port : ports)
        seen << port.name + QLatin1Char('|') + port.devicePath + QLatin1Char('|') + port.description;
    seen.sort();
    QCOMPARE(seen, QStringList({QStringLiteral("COM1|/dev/ttyS0|Communications Port (COM1)"),
                                QStringLiteral("COM34|/dev/ttyACM1|"),
                                QStringLiteral("COM68|/dev/ttyUSB3|FT232R USB UART")}));
}

void TestSerialDevice::portMapEntriesJoinAndWinOverMachinePorts()
{
    QTemporaryDir sys;
    const QString tty = sys.path() + QStringLiteral("/tty");
    makeFile(tty + QStringLiteral("/ttyS0/device/uevent"), "");
    makeFile(tty + QStringLiteral("/ttyS1/device/uevent"), "");
    QVERIFY(PortMap::publish({2, QStringLiteral("/dev/pts/90"), QStringLiteral("Handset modem")}));
    QVERIFY(PortMap::publish({9, QStringLiteral("/dev/pts/91"), QString()}));

    const SerialPortList::Enumeration found = SerialPortList::enumerate(tty);
    QCOMPARE(found.numbers, QList<int>({1, 2, 9}));
    QCOMPARE(found.descriptions,
             QStringList({QStringLiteral("Communications Port (COM1)"), QStringLiteral("Handset modem"), QString()}));
    QCOMPARE(SerialPortList::devicePathFor(2, tty), QStringLiteral("/dev/pts/90"));
    QCOMPARE(SerialPortList::devicePathFor(1, tty), QStringLiteral("/dev/ttyS0"));
    QVERIFY(SerialPortList::devicePathFor(3, tty).isEmpty());
}

void TestSerialDevice::missingPortIsFileNotFound()
{
    SerialDevice device;
    QCOMPARE(device.open(250), quint32(SerialErrors::FileNotFound));
    QVERIFY(PortMap::publish({250, m_runtime.path() + QStringLiteral("/no-such-node"), QString()}));
    QCOMPARE(device.open(250), quint32(SerialErrors::FileNotFound));
    QVERIFY(!device.isOpen());
}

void TestSerialDevice::silentLineTimesOutAndCanBeCancelled()
{
    EmulatedModem::Config silent;
    silent.mode = EmulatedModem::Config::Mode::Silent;
    const auto modem = startModem(6, silent);
    QVERIFY(modem);
    SerialDevice device;
    QCOMPARE(device.open(6), quint32(SerialErrors::Success));
    QCOMPARE(device.write("AT\r", 300), quint32(SerialErrors::Success));
    QCOMPARE(device.waitForCharacter(100, nullptr), SerialDevice::WaitResult::TimedOut);

    // A cancel left over from before a wait must not end the next one.
    device.cancelWait();
    QCOMPARE(device.waitForCharacter(50, nullptr), SerialDevice::WaitResult::TimedOut);

    std::thread canceller([&device] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        device.cancelWait();
    });
    const SerialDevice::WaitResult result = device.waitForCharacter(20000, nullptr);
    canceller.join();
    QCOMPARE(result, SerialDevice::WaitResult::Cancelled);
}

QTEST_GUILESS_MAIN(TestSerialDevice)
#include "tst_serialdevice.moc"
