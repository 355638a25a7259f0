#include "GatewaySettings.h"

#include "platform/Paths.h"
#include "platform/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <algorithm>

namespace {

QMutex selectionMutex;
std::optional<GatewaySettings> selection;

constexpr char kHeader[] = "[Gateway]";

QByteArray line(const char* key, const QString& value)
{
    return QByteArray(key) + '=' + QUrl::toPercentEncoding(value) + '\n';
}

} // namespace

QUrl GatewaySettings::sendUrl() const
{
    const QString text = url.trimmed();
    if (text.isEmpty())
        return {};
    return QUrl::fromUserInput(text.contains(QLatin1String("://")) ? text : QStringLiteral("http://") + text);
}

QString GatewaySettings::hostPort() const
{
    const QUrl u = sendUrl();
    const int port = u.port(u.scheme() == QLatin1String("https") ? 443 : 80);
    const QString host = u.host().contains(QLatin1Char(':')) ? QLatin1Char('[') + u.host() + QLatin1Char(']') : u.host();
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

QString GatewaySettings::deviceLine() const
{
    return QStringLiteral("SMS gateway at ") + hostPort();
}

QString GatewaySettings::problem() const
{
    const QUrl u = sendUrl();
    if (url.trimmed().isEmpty())
        return QStringLiteral("Enter the address of the gateway's send interface, for example "
                              "http://127.0.0.1:13013/cgi-bin/sendsms.");
    if (!u.isValid() || u.host().isEmpty() ||
        (u.scheme() != QLatin1String("http") && u.scheme() != QLatin1String("https")))
        return QStringLiteral("The address \"%1\" is not an http:// or https:// address.").arg(url.trimmed());
    if (user.isEmpty())
        return QStringLiteral("Enter the user name the gateway knows you by.");
    if (inFlight < 1 || inFlight > kMaxInFlight)
        return QStringLiteral("The number of messages in flight must be from 1 to %1.").arg(kMaxInFlight);
    if (!(ratePerSecond >= 0))
        return QStringLiteral("The rate limit cannot be negative.");
    return {};
}

QString GatewaySettings::defaultPath()
{
    return Paths::configFolder() + QStringLiteral("/gateway.ini");
}

std::optional<GatewaySettings> GatewaySettings::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    GatewaySettings s;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QByteArray raw = file.readLine(64 * 1024).trimmed();
        if (raw.startsWith('[')) {
            inGroup = raw == kHeader;
            continue;
        }
        const qsizetype eq = raw.indexOf('=');
        if (!inGroup || eq <= 0)
            continue;
        const QByteArray key = raw.left(eq).trimmed();
        const QString value = QString::fromUtf8(QByteArray::fromPercentEncoding(raw.mid(eq + 1).trimmed()));
        if (key == "Url")
            s.url = value;
        else if (key == "User")
            s.user = value;
        else if (key == "Password") {
            s.password = value;
            s.rememberPassword = true;
        } else if (key == "From")
            s.sender = value;
        else if (key == "Smsc")
            s.smscId = value;
        else if (key == "InFlight")
            s.inFlight = std::clamp(value.toInt(), 1, kMaxInFlight);
        else if (key == "RatePerSecond")
            s.ratePerSecond = std::max(0.0, value.toDouble());
    }
    if (s.url.isEmpty())
        return std::nullopt;
    return s;
}

QString GatewaySettings::save(const QString& path) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QByteArray text = QByteArray(kHeader) + '\n';
    text += line("Url", url.trimmed());
    text += line("User", user);
    if (rememberPassword)
        text += line("Password", password);
    text += line("From", sender);
    text += line("Smsc", smscId);
    text += line("InFlight", QString::number(inFlight));
    text += line("RatePerSecond", QString::number(ratePerSecond));
    // Owner only, whether or not it holds the password: the user name and the address are nobody else's business.
    return saveFileAtomically(path, text, 0600);
}

namespace GatewaySelection {

void select(const GatewaySettings& settings)
{
    QMutexLocker lock(&selectionMutex);
    selection = settings;
}

void clear()
{
    QMutexLocker lock(&selectionMutex);
    selection.reset();
}

std::optional<GatewaySettings> current()
{
    QMutexLocker lock(&selectionMutex);
    return selection;
}

} // namespace GatewaySelection
