#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Read-only access to the few machine settings the program looks up.
//
// The stand-in reads a file in the format of a registry export (REGEDIT4 or
// "Windows Registry Editor Version 5.00"):
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Research In Motion\BlackBerry\Manager]
//   "ImagePath"="/opt/dm/DesktopMgr.exe"
//   "EnableLUA"=dword:00000001
// A native backend would read the real registry behind the same calls.
class Registry
{
public:
    // Reads from Paths::registryFile() unless a file is given.
    explicit Registry(QString file = {});

    // The value's raw data as the registry would hand it out: a string value as
    // its bytes in the ANSI code page with a terminating NUL, a dword as four
    // little-endian bytes, hex data as given. Nothing when the key, the value or
    // the file is missing or unreadable.
    std::optional<QByteArray> readRaw(const QString& key, const QString& value) const;

    // A string value as text; empty when absent or not a string.
    QString readString(const QString& key, const QString& value) const;

    // The data taken as a zero-terminated byte string: the UAC test.
    bool isNonEmptyCString(const QString& key, const QString& value) const;

    static constexpr const char* kPolicies = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    static constexpr const char* kManager = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Research In Motion\\BlackBerry\\Manager";
    static constexpr const char* kUninstall =
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\BlackBerry_Desktop";

private:
    QString m_file;
};
