// JavaLoader.exe and the module file format it checks.

#include "ServiceFixture.h"
#include "tools/javaloader/ModuleFile.h"

#include <QFile>
#include <QtTest>

class TestJavaLoader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void moduleFileIsRecognised_data();
    void moduleFileIsRecognised();
    void shippedModuleInstallsOnTheFirstAttachedHandset();
    void refusesWhatItCannotInstall_data();
    void refusesWhatItCannotInstall();

private:
    QString writeFile(const QString& name, const QByteArray& bytes) const;

    std::unique_ptr<ServiceFixture> m_fixture;
};

void TestJavaLoader::init()
{
    m_fixture = std::make_unique<ServiceFixture>();
}

void TestJavaLoader::cleanup()
{
    m_fixture.reset();
}

QString TestJavaLoader::writeFile(const QString& name, const QByteArray& bytes) const
{
    const QString path = m_fixture->root() + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

void TestJavaLoader::moduleFileIsRecognised_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("name");

    QTest::newRow("minimal") << QByteArray("VEVA-COD/1\nName: Tiny\n") << "Tiny";
    QTest::newRow("CR LF lines") << QByteArray("VEVA-COD/1\r\nVersion: 2\r\nName:  Spaced \r\n") << "Spaced";
    QTest::newRow("no name") << QByteArray("VEVA-COD/1\nVersion: 1\n") << QString();
    QTest::newRow("other magic") << QByteArray("VEVA-COD/2\nName: Later\n") << QString();
    QTest::newRow("magic not first") << QByteArray("\nVEVA-COD/1\nName: X\n") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("too large") << QByteArray("VEVA-COD/1\nName: Big\n") + QByteArray(ModuleFile::kMaxBytes, '#')
                               << QString();
}

void TestJavaLoader::moduleFileIsRecognised()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, name);
    ModuleInfo info;
    QString error;
    const bool ok = ModuleFile::read(writeFile(QStringLiteral("m.cod"), content), &info, &error);
    QCOMPARE(ok, !name.isEmpty());
    QCOMPARE(info.name, name);
    QCOMPARE(error.isEmpty(), ok);
}

void TestJavaLoader::shippedModuleInstallsOnTheFirstAttachedHandset()
{
    m_fixture->writeConfig("[gone]\nPIN=1\nAttached=false\n[here]\nPIN=2\n[also]\nPIN=3\n");
    QVERIFY(m_fixture->start());
    const QString shipped = ServiceFixture::binary(QStringLiteral("UlmexVevaSMS.cod"));
    ModuleInfo info;
    QString error;
    QVERIFY2(ModuleFile::read(shipped, &info, &error), qPrintable(error));
    QCOMPARE(info.name, QStringLiteral("UlmexVevaSMS"));
    QCOMPARE(info.channel, QStringLiteral("JDE_USBClient"));

    const ServiceFixture::Run run = ServiceFixture::runTool(QStringLiteral("JavaLoader.exe"),
                                                            {QStringLiteral("-usb"), QStringLiteral("load"), shipped});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(m_fixture->control({QStringLiteral("list")}).out,
             QStringLiteral("1\t1\tdetached\tno-module\t\n2\t2\tattached\tmodule\t\n3\t3\tattached\tno-module\t\n"));
}

void TestJavaLoader::refusesWhatItCannotInstall_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QString attached = QStringLiteral("[a]\nPIN=5\n");
    const QString module = QStringLiteral("@module");
    QTest::newRow("missing file") << attached << QStringList{"-usb", "load", "@missing"} << 1 << "no such file";
    QTest::newRow("not a module") << attached << QStringList{"-usb", "load", "@text"} << 1 << "not a handset module";
    QTest::newRow("folder") << attached << QStringList{"-usb", "load", "@"} << 1 << "no such file";
    QTest::newRow("nothing attached") << QStringLiteral("[a]\nPIN=5\nAttached=no\n")
                                      << QStringList{"-usb", "load", module} << 1 << "no handset is attached";
    QTest::newRow("service not running") << QString() << QStringList{"-usb", "load", module} << 1 << "not running";
    QTest::newRow("no file argument") << attached << QStringList{"-usb", "load"} << 2 << "usage";
    QTest::newRow("serial instead of usb") << attached << QStringList{"-serial", "load", module} << 2 << "usage";
    QTest::newRow("extra argument") << attached << QStringList{"-usb", "load", module, module} << 2 << "usage";
}

void TestJavaLoader::refusesWhatItCannotInstall()
{
    QFETCH(QString, config);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    writeFile(QStringLiteral("module.cod"), "VEVA-COD/1\nName: UlmexVevaSMS\n");
    writeFile(QStringLiteral("text.cod"), "just some text\n");
    for (QString& arg : args) {
        if (arg.startsWith(QLatin1Char('@')))
            arg = m_fixture->root() + QLatin1Char('/') + arg.mid(1) +
                  (arg.size() > 1 ? QStringLiteral(".cod") : QString());
    }
    if (!config.isEmpty()) {
        m_fixture->writeConfig(config.toUtf8());
        QVERIFY(m_fixture->start());
    }
    const ServiceFixture::Run run = ServiceFixture::runTool(QStringLiteral("JavaLoader.exe"), args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.startsWith(QStringLiteral("JavaLoader.exe: ")) && run.err.contains(message), qPrintable(run.err));
    if (!config.isEmpty())
        QVERIFY(!m_fixture->control({QStringLiteral("list")}).out.contains(QStringLiteral("\tmodule\t")));
}

QTEST_GUILESS_MAIN(TestJavaLoader)
#include "tst_javaloader.moc"
