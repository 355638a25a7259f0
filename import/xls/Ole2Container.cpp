// libgsf's headers come first: glib uses names that Qt's headers define as macros.
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include "Ole2Container.h"

#include <QStringList>
#include <QtEndian>

#include <memory>

namespace Ole2 {

namespace {

struct Unref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using Ref = std::unique_ptr<T, Unref>;

// libgsf reports damaged containers on the log as well as through its results;
// while we read, those messages belong in our detail, not on standard error.
thread_local QStringList* t_messages = nullptr;

void captureMessage(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data)
{
    if (!t_messages)
        g_log_default_handler(domain, level, message, data);
    else if (t_messages->size() < 8)
        t_messages->append(QString::fromUtf8(message));
}

void initOnce()
{
    static const bool done = [] {
        gsf_init();
        const auto levels = GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE);
        g_log_set_handler("libgsf", levels, captureMessage, nullptr);
        g_log_set_handler("libgsf:msole", levels, captureMessage, nullptr);
        g_log_set_handler(nullptr, levels, captureMessage, nullptr); // some of libgsf logs without a domain
        return true;
    }();
    Q_UNUSED(done);
}

struct MessageCapture
{
    QStringList messages;
    MessageCapture() { t_messages = &messages; }
    ~MessageCapture() { t_messages = nullptr; }
    QString suffix() const
    {
        return messages.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(messages.join(QStringLiteral("; ")));
    }
};

bool readAll(GsfInput* input, qint64 limit, QByteArray& out, QString& detail)
{
    const gsf_off_t size = gsf_input_size(input);
    if (size < 0 || size > limit) {
        detail = QStringLiteral("stream claims %1 bytes in a file of %2").arg(qint64(size)).arg(limit);
        return false;
    }
    out = QByteArray(qsizetype(size), Qt::Uninitialized);
    constexpr qsizetype chunk = 1 << 16;
    for (qsizetype at = 0; at < out.size(); at += chunk) {
        const qsizetype n = std::min(chunk, out.size() - at);
        if (!gsf_input_read(input, size_t(n), reinterpret_cast<guint8*>(out.data() + at))) {
            detail = QStringLiteral("stream cut off at byte %1 of %2").arg(at).arg(out.size());
            out.clear();
            return false;
        }
    }
    return true;
}

// The root entry of the directory has no siblings in a sound container.
// libgsf reads siblings of the root anyway and leaks them, so a container
// with such a root never reaches it.
bool rootHasSiblings(const QByteArray& bytes)
{
    constexpr qsizetype kHeader = 512, kEntry = 128;
    if (bytes.size() < kHeader)
        return false;
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const quint16 shift = qFromLittleEndian<quint16>(p + 0x1E);
    if (shift != 9 && shift != 12)
        return false;
    const quint64 root = (quint64(qFromLittleEndian<quint32>(p + 0x30)) + 1) << shift;
    if (root + kEntry > quint64(bytes.size()))
        return false;
    const uchar* entry = p + root;
    return qFromLittleEndian<quint32>(entry + 0x44) != 0xFFFFFFFFu ||
           qFromLittleEndian<quint32>(entry + 0x48) != 0xFFFFFFFFu;
}

Streams readContainer(const QByteArray& bytes)
{
    Streams result;
    if (rootHasSiblings(bytes)) {
        result.detail = QStringLiteral("not an OLE2 container: its root directory entry has siblings");
        return result;
    }
    Ref<GsfInput> source(gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.constData()), bytes.size(), FALSE));
    GError* error = nullptr;
    Ref<GsfInfile> container(gsf_infile_msole_new(source.get(), &error));
    if (!container) {
        result.detail = QStringLiteral("not an OLE2 container: %1")
                            .arg(error ? QString::fromUtf8(error->message) : QStringLiteral("unknown reason"));
        g_clear_error(&error);
        return result;
    }

    // Stream names compare without regard to case in this format.
    int workbook = -1, book = -1;
    bool encryptionInfo = false, encryptedPackage = false;
    const int children = gsf_infile_num_children(container.get());
    for (int i = 0; i < children; ++i) {
        const QString name = QString::fromUtf8(gsf_infile_name_by_index(container.get(), i));
        if (name.compare(QLatin1String("Workbook"), Qt::CaseInsensitive) == 0)
            workbook = i;
        else if (name.compare(QLatin1String("Book"), Qt::CaseInsensitive) == 0)
            book = i;
        else if (name.compare(QLatin1String("EncryptionInfo"), Qt::CaseInsensitive) == 0)
            encryptionInfo = true;
        else if (name.compare(QLatin1String("EncryptedPackage"), Qt::CaseInsensitive) == 0)
            encryptedPackage = true;
    }

    if (encryptionInfo && encryptedPackage) {
        result.content = Content::EncryptedPackage;
        result.detail = QStringLiteral("encrypted package");
        return result;
    }
    if (workbook < 0) {
        result.content = book >= 0 ? Content::Biff5Book : Content::Other;
        result.detail = book >= 0 ? QStringLiteral("Excel 5.0/95 workbook (Book stream)")
                                  : QStringLiteral("OLE2 container without a Workbook stream");
        return result;
    }
    Ref<GsfInput> stream(gsf_infile_child_by_index(container.get(), workbook));
    if (!stream) {
        result.detail = QStringLiteral("Workbook stream cannot be opened");
        return result;
    }
    if (!readAll(stream.get(), bytes.size(), result.workbook, result.detail)) {
        result.detail.prepend(QStringLiteral("Workbook "));
        return result;
    }
    result.content = Content::Workbook;
    return result;
}

} // namespace

Streams read(const QByteArray& bytes)
{
    initOnce();
    MessageCapture capture;
    Streams result = readContainer(bytes);
    if (result.content != Content::Workbook)
        result.detail += capture.suffix();
    return result;
}

} // namespace Ole2
