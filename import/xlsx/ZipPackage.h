#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

struct zip;
struct zip_file;

namespace Xlsx {

// How far a package may expand. The sizes a zip declares are checked when it is
// opened and enforced again while inflating, because they can lie.
inline constexpr qint64 kMaxPartBytes = qint64(512) << 20;
inline constexpr qint64 kMaxTotalBytes = qint64(2) << 30;
// Above this size a part may expand at most kMaxExpansion times its stored
// size; real spreadsheet XML stays far below, zip bombs far above.
inline constexpr qint64 kExpansionFloorBytes = qint64(16) << 20;
inline constexpr qint64 kMaxExpansion = 256;

// A zip package read from memory. Parts are found by name, case-blind as part
// names are, and read in chunks. Not for use by two threads at once.
class ZipPackage
{
public:
    ZipPackage() = default;
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    // False, with `error`, when the bytes are no zip archive or declare sizes
    // beyond the limits above. Keeps a reference to `bytes`.
    bool open(const QByteArray& bytes, QString& error);

    // Index of the part (leading "/" optional), or -1.
    qint64 find(const QString& partName) const;
    // The uncompressed size the zip declares for a part, 0 when unknown.
    qint64 declaredSize(qint64 index) const;

    // Streams one part, at most `limit` bytes and never more than its entry declares.
    class Reader
    {
    public:
        Reader(ZipPackage& package, qint64 index, qint64 limit);
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        bool isOpen() const { return m_file != nullptr; }
        qint64 declaredSize() const { return m_declared; }
        // Bytes read into `buffer`, 0 at the end, -1 on damage (error() says what).
        qint64 read(char* buffer, qint64 capacity);
        const QString& error() const { return m_error; }

    private:
        zip_file* m_file = nullptr;
        qint64 m_declared = 0;
        qint64 m_done = 0;
        QString m_name;
        QString m_error;
    };

private:
    QByteArray m_bytes;
    zip* m_zip = nullptr;
};

} // namespace Xlsx
