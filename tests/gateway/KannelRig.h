#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <signal.h>
#include <sys/prctl.h>
#include <vector>

// A Kannel of its own on loopback ports: bearerbox with a fake SMSC group,
// fakesmsc playing the service centre (it prints every message it gets), and
// smsbox with its sendsms interface. Everything it starts is killed when it
// goes, whatever happened in between.
class KannelRig
{
public:
    static inline const QString kUser = QStringLiteral("veva");
    static inline const QString kPassword = QStringLiteral("rig-pass-4711");

    static QString bearerbox() { return found(QStringLiteral("/usr/sbin/bearerbox")); }
    static QString smsbox() { return found(QStringLiteral("/usr/sbin/smsbox")); }
    // kannel-extras puts it below /usr/lib/kannel.
    static QString fakesmsc() { return found(QStringLiteral("/usr/lib/kannel/test/fakesmsc")); }
    // Which of the programs are not installed ("" when all are).
    static QString missing()
    {
        QStringList out;
        if (bearerbox().isEmpty())
            out << QStringLiteral("bearerbox (package kannel)");
        if (smsbox().isEmpty())
            out << QStringLiteral("smsbox (package kannel)");
        if (fakesmsc().isEmpty())
            out << QStringLiteral("fakesmsc (package kannel-extras)");
        return out.join(QStringLiteral(", "));
    }

    ~KannelRig() { stop(); }

    bool start(QString* error, int waitMs = 20000)
    {
        m_dir.setAutoRemove(qEnvironmentVariableIsEmpty("VEVA_KEEP_KANNEL_RIG"));
        if (!m_dir.isValid())
            return fail(error, QStringLiteral("no temporary folder"));
        std::vector<std::unique_ptr<QTcpServer>> holders;
        quint16 ports[4];
        for (quint16& p : ports) {
            holders.push_back(std::make_unique<QTcpServer>());
            holders.back()->listen(QHostAddress::LocalHost, 0);
            p = holders.back()->serverPort();
        }
        holders.clear();
        m_adminPort = ports[0];
        m_smsboxPort = ports[1];
        m_smscPort = ports[2];
        m_sendsmsPort = ports[3];
        const QString conf = m_dir.filePath(QStringLiteral("kannel.conf"));
        QFile file(conf);
        if (!file.open(QIODevice::WriteOnly))
            return fail(error, QStringLiteral("cannot write ") + conf);
        file.write(QStringLiteral("group = core\n"
                                  "admin-port = %1\n"
                                  "admin-password = rig-admin\n"
                                  "admin-interface = 127.0.0.1\n"
                                  "smsbox-port = %2\n"
                                  "box-allow-ip = 127.0.0.1\n"
                                  "log-file = \"%5/bearerbox.log\"\n"
                                  "log-level = %8\n"
                                  "\n"
                                  "group = smsc\n"
                                  "smsc = fake\n"
                                  "smsc-id = fake1\n"
                                  "port = %3\n"
                                  "connect-allow-ip = 127.0.0.1\n"
                                  "\n"
                                  "group = smsbox\n"
                                  "bearerbox-host = 127.0.0.1\n"
                                  "bearerbox-port = %2\n"
                                  "sendsms-port = %4\n"
                                  "sendsms-interface = 127.0.0.1\n"
                                  "log-file = \"%5/smsbox.log\"\n"
                                  "log-level = %8\n"
                                  "\n"
                                  "group = sendsms-user\n"
                                  "username = %6\n"
                                  "password = %7\n"
                                  "max-messages = 10\n"
                                  "concatenation = true\n"
                                  "\n"
                                  "group = sms-service\n"
                                  "keyword = default\n"
                                  "text = \"No service\"\n")
                       .arg(m_adminPort)
                       .arg(m_smsboxPort)
                       .arg(m_smscPort)
                       .arg(m_sendsmsPort)
                       .arg(m_dir.path(), kUser, kPassword, qEnvironmentVariable("VEVA_KANNEL_LOG_LEVEL", QStringLiteral("1")))
                       .toUtf8());
        file.close();

        // Even a test that is killed takes its Kannel with it.
        for (QProcess* p : {&m_bearerbox, &m_fakesmsc, &m_smsbox})
            p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_bearerbox.setProcessChannelMode(QProcess::MergedChannels);
        m_bearerbox.setStandardOutputFile(m_dir.filePath(QStringLiteral("bearerbox.out")));
        m_bearerbox.start(bearerbox(), {QStringLiteral("-v"), QStringLiteral("4"), conf});
        if (!waitForPort(m_adminPort, waitMs))
            return fail(error, QStringLiteral("bearerbox did not open its ports: ") + tail("bearerbox.out"));
        m_fakesmsc.setProcessChannelMode(QProcess::MergedChannels);
        m_fakesmsc.start(fakesmsc(), {QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-r"),
                                      QString::number(m_smscPort), QStringLiteral("-m"), QStringLiteral("0"),
                                      QStringLiteral("1 2 text nothing")});
        m_smsbox.setProcessChannelMode(QProcess::MergedChannels);
        m_smsbox.setStandardOutputFile(m_dir.filePath(QStringLiteral("smsbox.out")));
        m_smsbox.start(smsbox(), {QStringLiteral("-v"), QStringLiteral("4"), conf});
        if (!waitForPort(m_sendsmsPort, waitMs))
            return fail(error, QStringLiteral("smsbox did not open its sendsms port: ") + tail("smsbox.out"));
        return true;
    }

    void stop()
    {
        for (QProcess* p : {&m_smsbox, &m_fakesmsc, &m_bearerbox}) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->kill();
            p->waitForFinished(5000);
        }
    }

    QString sendUrl() const { return QStringLiteral("http://127.0.0.1:%1/cgi-bin/sendsms").arg(m_sendsmsPort); }

    // Waits up to waitMs for more of fakesmsc's output and returns how many
    // messages it has reported so far.
    int pump(int waitMs)
    {
        m_fakesmsc.waitForReadyRead(waitMs);
        return int(fakesmscOutput().count("Got message "));
    }
    // What fakesmsc printed so far (it prints "Got message N: <from to type text>" for each).
    QByteArray fakesmscOutput()
    {
        m_fakeOutput += m_fakesmsc.readAll();
        return m_fakeOutput;
    }
    // The messages fakesmsc got: from, to, type and the text decoded.
    struct Received
    {
        QString from;
        QString to;
        QString type;
        QString text;
    };
    QList<Received> received()
    {
        QList<Received> out;
        for (const QByteArray& line : fakesmscOutput().split('\n')) {
            const qsizetype at = line.indexOf("Got message ");
            const qsizetype open = line.indexOf('<', at);
            if (at < 0 || open < 0 || !line.trimmed().endsWith('>'))
                continue;
            const QByteArray inner = line.mid(open + 1, line.lastIndexOf('>') - open - 1);
            const QList<QByteArray> f = inner.split(' ');
            if (f.size() < 4)
                continue;
            Received r{QString::fromUtf8(f[0]), QString::fromUtf8(f[1]), QString::fromUtf8(f[2]), {}};
            QByteArray data = inner.mid(f[0].size() + f[1].size() + f[2].size() + 3);
            if (r.type == QLatin1String("ucs-2") || r.type == QLatin1String("udh-ucs-2")) {
                const QByteArray be = QByteArray::fromPercentEncoding(data.replace('+', ' '));
                for (qsizetype i = 0; i + 1 < be.size(); i += 2)
                    r.text += QChar(char16_t((quint8(be[i]) << 8) | quint8(be[i + 1])));
            } else if (r.type == QLatin1String("text")) {
                r.text = QString::fromUtf8(data); // as it is
            } else {
                r.text = QString::fromUtf8(QByteArray::fromPercentEncoding(data.replace('+', ' ')));
            }
            out << r;
        }
        return out;
    }

    // The ends of the boxes' logs, for a failure message.
    QString logTail() const
    {
        return QStringLiteral("bearerbox: ") + tail("bearerbox.log") + QStringLiteral("\nsmsbox: ") + tail("smsbox.log");
    }

private:
    static QString found(const QString& path) { return QFileInfo(path).isExecutable() ? path : QString(); }
    static bool fail(QString* error, const QString& text)
    {
        if (error)
            *error = text;
        return false;
    }
    static bool waitForPort(quint16 port, int waitMs)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < waitMs) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            if (s.waitForConnected(500))
                return true;
            QThread::msleep(100);
        }
        return false;
    }
    QString tail(const char* name) const
    {
        QFile f(m_dir.filePath(QLatin1String(name)));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().right(600)) : QString();
    }

    QTemporaryDir m_dir;
    QProcess m_bearerbox;
    QProcess m_fakesmsc;
    QProcess m_smsbox;
    QByteArray m_fakeOutput;
    quint16 m_adminPort = 0;
    quint16 m_smsboxPort = 0;
    quint16 m_smscPort = 0;
    quint16 m_sendsmsPort = 0;
};
