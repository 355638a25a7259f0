#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Where and how the program reaches an SMS gateway's HTTP send interface
// (Kannel's "sendsms"). Kept in gateway.ini of the configuration folder; the
// password only when the user asked for it to be remembered, and then the
// file is readable by its owner alone. Otherwise the password lives in memory
// for the program run.
struct GatewaySettings
{
    static constexpr int kDefaultInFlight = 10;
    static constexpr int kMaxInFlight = 100;

    QString url;       // http://host:13013/cgi-bin/sendsms
    QString user;
    QString password;
    QString sender;    // "from"; empty leaves it to the gateway
    QString smscId;    // "smsc"; empty lets the gateway route
    int inFlight = kDefaultInFlight; // messages submitted at once
    double ratePerSecond = 0;        // at most this many submissions a second; 0 for no limit
    bool rememberPassword = false;

    // The URL as typed, with "http://" added when it names no scheme.
    QUrl sendUrl() const;
    // "host:port" of the URL (the port the scheme implies when it gives none).
    QString hostPort() const;
    // The main window's device line: "SMS gateway at 127.0.0.1:13013".
    QString deviceLine() const;
    // What is wrong with the settings for the user to correct; empty when nothing.
    QString problem() const;

    bool operator==(const GatewaySettings&) const = default;

    // gateway.ini in the configuration folder.
    static QString defaultPath();
    // Nothing when there is no file or it names no URL.
    static std::optional<GatewaySettings> load(const QString& path = defaultPath());
    // An empty string on success, else why not. The password is written only
    // with rememberPassword; the file replaces the old one whole.
    QString save(const QString& path = defaultPath()) const;
};

// The gateway chosen as the sending device for the rest of the program run
// (with its password, remembered or typed). None while a handset or a GSM
// modem sends.
namespace GatewaySelection {
void select(const GatewaySettings& settings);
void clear();
std::optional<GatewaySettings> current();
} // namespace GatewaySelection
