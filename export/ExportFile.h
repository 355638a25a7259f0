#pragma once

#include <QString>

#include <memory>

// The file an export writes: a new temporary file beside the chosen one
// (same folder, same extension), renamed over the chosen name only when
// everything was written. A failed or empty export leaves an earlier file of
// that name as it was, and leaves no temporary file behind.
class ExportFile
{
public:
    // Nothing, with *error set, when no file can be created in that folder.
    static std::unique_ptr<ExportFile> create(const QString& target, QString* error);
    ~ExportFile();

    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;

    QString target() const { return m_target; }
    QString tempPath() const { return m_temp; }

    // Flushes the temporary file to disk and renames it over the target.
    // Returns an empty string on success, else why it failed.
    QString commit();

private:
    ExportFile(const QString& target, const QString& temp) : m_target(target), m_temp(temp) {}

    QString m_target;
    QString m_temp;
    bool m_committed = false;
};
