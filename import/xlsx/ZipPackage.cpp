#include "ZipPackage.h"

#include <zip.h>

#include <algorithm>

namespace Xlsx {

ZipPackage::~ZipPackage()
{
    if (m_zip)
        zip_discard(m_zip);
}

bool ZipPackage::open(const QByteArray& bytes, QString& error)
{
    m_bytes = bytes;
    zip_error_t zerr;
    zip_error_init(&zerr);
    zip_source_t* source = zip_source_buffer_create(m_bytes.constData(), zip_uint64_t(m_bytes.size()), 0, &zerr);
    if (source)
        m_zip = zip_open_from_source(source, ZIP_RDONLY, &zerr);
    if (!m_zip) {
        error = QStringLiteral("not a zip archive (%1)").arg(QString::fromUtf8(zip_error_strerror(&zerr)));
        zip_error_fini(&zerr);
        if (source)
            zip_source_free(source);
        return false;
    }
    zip_error_fini(&zerr);

    // Sizes first in all, then part by part: overlapping entries can declare terabytes.
    const zip_int64_t count = zip_get_num_entries(m_zip, 0);
    qint64 total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(m_zip, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
            !(st.valid & ZIP_STAT_COMP_SIZE))
            continue; // reading such an entry fails later, if it is ever needed
        total += qint64(std::min<zip_uint64_t>(st.size, zip_uint64_t(kMaxTotalBytes) + 1));
        if (total > kMaxTotalBytes) {
            error = QStringLiteral("the parts declare more than %1 bytes in all").arg(kMaxTotalBytes);
            return false;
        }
    }
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(m_zip, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
            !(st.valid & ZIP_STAT_COMP_SIZE))
            continue;
        const QString name = QString::fromUtf8((st.valid & ZIP_STAT_NAME) && st.name ? st.name : "?");
        if (st.size > zip_uint64_t(kMaxPartBytes)) {
            error = QStringLiteral("part %1 declares %2 bytes, over the limit of %3")
                        .arg(name)
                        .arg(st.size)
                        .arg(kMaxPartBytes);
            return false;
        }
        if (qint64(st.size) > kExpansionFloorBytes && st.size / kMaxExpansion > st.comp_size) {
            error = QStringLiteral("part %1 expands from %2 to %3 bytes: refused as a zip bomb")
                        .arg(name)
                        .arg(st.comp_size)
                        .arg(st.size);
            return false;
        }
    }
    return true;
}

qint64 ZipPackage::find(const QString& partName) const
{
    if (!m_zip)
        return -1;
    QString name = partName;
    while (name.startsWith(u'/'))
        name.remove(0, 1);
    const QByteArray utf8 = name.toUtf8();
    if (utf8.isEmpty() || utf8.contains('\0'))
        return -1;
    zip_int64_t index = zip_name_locate(m_zip, utf8.constData(), 0);
    if (index < 0)
        index = zip_name_locate(m_zip, utf8.constData(), ZIP_FL_NOCASE);
    return index;
}

qint64 ZipPackage::declaredSize(qint64 index) const
{
    zip_stat_t st;
    if (!m_zip || index < 0 || zip_stat_index(m_zip, zip_uint64_t(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return 0;
    return qint64(std::min<zip_uint64_t>(st.size, zip_uint64_t(kMaxPartBytes)));
}

ZipPackage::Reader::Reader(ZipPackage& package, qint64 index, qint64 limit)
{
    zip_stat_t st;
    if (!package.m_zip || index < 0 || zip_stat_index(package.m_zip, zip_uint64_t(index), 0, &st) != 0) {
        m_error = QStringLiteral("no such part");
        return;
    }
    m_name = QString::fromUtf8((st.valid & ZIP_STAT_NAME) && st.name ? st.name : "?");
    m_declared = (st.valid & ZIP_STAT_SIZE) ? qint64(st.size) : limit;
    if (m_declared > limit) {
        m_error =
            QStringLiteral("part %1 declares %2 bytes, over its limit of %3").arg(m_name).arg(m_declared).arg(limit);
        return;
    }
    m_file = zip_fopen_index(package.m_zip, zip_uint64_t(index), 0);
    if (!m_file)
        m_error =
            QStringLiteral("part %1 cannot be read (%2)").arg(m_name, QString::fromUtf8(zip_strerror(package.m_zip)));
}

ZipPackage::Reader::~Reader()
{
    if (m_file)
        zip_fclose(m_file);
}

qint64 ZipPackage::Reader::read(char* buffer, qint64 capacity)
{
    if (!m_file)
        return -1;
    // Ask for one byte more than declared so that a part that lies about its size shows it.
    const qint64 room = m_declared + 1 - m_done;
    const zip_int64_t n = zip_fread(m_file, buffer, zip_uint64_t(std::min(capacity, room)));
    if (n < 0) {
        m_error = QStringLiteral("part %1 is damaged (%2)").arg(m_name, QString::fromUtf8(zip_file_strerror(m_file)));
        return -1;
    }
    m_done += n;
    if (m_done > m_declared) {
        m_error = QStringLiteral("part %1 holds more than the %2 bytes it declares").arg(m_name).arg(m_declared);
        return -1;
    }
    if (n == 0 && m_done < m_declared) {
        m_error = QStringLiteral("part %1 ends after %2 of %3 bytes").arg(m_name).arg(m_done).arg(m_declared);
        return -1;
    }
    return n;
}

} // namespace Xlsx
