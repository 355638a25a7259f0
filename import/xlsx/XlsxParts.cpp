#include "XlsxParts.h"

#include "XmlPart.h"

#include "import/workbook/NumberFormat.h"

#include <QUrl>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>

namespace Xlsx {

namespace {

const std::string_view kRelationshipsNs = "relationships";

QString text(const char* value)
{
    return value ? QString::fromUtf8(value) : QString();
}

bool parseInt(const char* value, int& out)
{
    if (!value)
        return false;
    const char* end = value + std::strlen(value);
    auto [ptr, ec] = std::from_chars(value, end, out);
    return ec == std::errc() && ptr == end;
}

class ContentTypesHandler : public XmlHandler
{
public:
    explicit ContentTypesHandler(QHash<QString, QString>& out) : m_out(out) {}
    void start(std::string_view name, const char** attributes) override
    {
        if (name != "Override")
            return;
        QString part = text(attribute(attributes, "PartName"));
        while (part.startsWith(u'/'))
            part.remove(0, 1);
        m_out.insert(part.toLower(), text(attribute(attributes, "ContentType")));
    }
    void end(std::string_view) override {}

private:
    QHash<QString, QString>& m_out;
};

class RelationshipsHandler : public XmlHandler
{
public:
    RelationshipsHandler(const QString& source, std::vector<Relationship>& out) : m_source(source), m_out(out) {}
    void start(std::string_view name, const char** attributes) override
    {
        if (name != "Relationship")
            return;
        Relationship rel;
        rel.id = text(attribute(attributes, "Id"));
        rel.type = text(attribute(attributes, "Type"));
        const char* mode = attribute(attributes, "TargetMode");
        if (!mode || std::string_view(mode) != "External")
            rel.target = resolveTarget(m_source, text(attribute(attributes, "Target")));
        m_out.push_back(std::move(rel));
    }
    void end(std::string_view) override {}

private:
    const QString& m_source;
    std::vector<Relationship>& m_out;
};

class WorkbookHandler : public XmlHandler
{
public:
    explicit WorkbookHandler(WorkbookInfo& out) : m_out(out) {}
    void start(std::string_view name, const char** attributes) override
    {
        if (m_depth++ == 0) {
            if (name != "workbook")
                fail(QStringLiteral("is no workbook (its root is <%1>)").arg(QString::fromUtf8(name)));
            return;
        }
        if (name == "workbookPr") {
            const char* v = attribute(attributes, "date1904");
            m_out.date1904 = v && (std::string_view(v) == "1" || std::string_view(v) == "true");
        } else if (name == "sheets") {
            m_inSheets = true;
        } else if (name == "sheet" && m_inSheets) {
            m_out.sheets.push_back(
                {text(attribute(attributes, "name")), text(namespacedAttribute(attributes, kRelationshipsNs, "id"))});
        }
    }
    void end(std::string_view name) override
    {
        --m_depth;
        if (name == "sheets")
            m_inSheets = false;
    }

private:
    WorkbookInfo& m_out;
    int m_depth = 0;
    bool m_inSheets = false;
};

class StylesHandler : public XmlHandler
{
public:
    void start(std::string_view name, const char** attributes) override
    {
        if (name == "numFmts") {
            m_inNumFmts = true;
        } else if (name == "cellXfs") {
            m_inCellXfs = true;
        } else if (name == "numFmt" && m_inNumFmts) {
            int id = 0;
            if (parseInt(attribute(attributes, "numFmtId"), id))
                m_codes[id] = text(attribute(attributes, "formatCode"));
        } else if (name == "xf" && m_inCellXfs) {
            int id = 0;
            m_xfFormats.push_back(parseInt(attribute(attributes, "numFmtId"), id) ? id : 0);
        }
    }
    void end(std::string_view name) override
    {
        if (name == "numFmts")
            m_inNumFmts = false;
        else if (name == "cellXfs")
            m_inCellXfs = false;
    }
    void result(std::vector<bool>& out) const
    {
        out.clear();
        out.reserve(m_xfFormats.size());
        std::map<int, bool> known;
        for (int id : m_xfFormats) {
            auto it = known.find(id);
            if (it == known.end()) {
                const auto code = m_codes.find(id);
                const Workbook::FormatKind kind =
                    Workbook::formatKind(id, code != m_codes.end() ? &code->second : nullptr);
                it = known.emplace(id, Workbook::showsDate(kind)).first;
            }
            out.push_back(it->second);
        }
    }

private:
    std::map<int, QString> m_codes;
    std::vector<int> m_xfFormats;
    bool m_inNumFmts = false;
    bool m_inCellXfs = false;
};

class SharedStringsHandler : public XmlHandler
{
public:
    SharedStringsHandler(SharedStrings& out, qint64 bytes) : m_out(out), m_bytes(bytes) {}
    void start(std::string_view name, const char** attributes) override
    {
        if (name == "sst") {
            // The count it declares, as far as the part's size allows ("<si/>" takes 5 bytes).
            int count = 0;
            if (parseInt(attribute(attributes, "uniqueCount"), count) && count > 0)
                m_out.refs.reserve(size_t(std::min<qint64>({count, m_bytes / 5, qint64(kMaxSharedStrings)})));
        } else if (name == "si") {
            m_inItem = true;
            m_text.clear();
        } else if (m_inItem && name == "rPh") {
            ++m_phonetic;
        } else if (m_inItem && name == "t" && m_phonetic == 0) {
            m_inText = true;
        }
    }
    void end(std::string_view name) override
    {
        if (name == "si" && m_inItem) {
            m_inItem = false;
            m_inText = false;
            m_phonetic = 0;
            if (m_out.refs.size() == kMaxSharedStrings) {
                fail(QStringLiteral("holds more than %1 strings").arg(kMaxSharedStrings));
                return;
            }
            // Most texts hold no "_xHHHH_" escape, and go into the pool as they are decoded.
            const std::string_view text = m_text;
            m_out.refs.push_back(text.find("_x") == std::string_view::npos
                                     ? m_out.pool->addUtf8(QByteArrayView(text.data(), qsizetype(text.size())))
                                     : m_out.pool->add(cellText(text)));
        } else if (name == "rPh" && m_phonetic > 0) {
            --m_phonetic;
        } else if (name == "t") {
            m_inText = false;
        }
    }
    void characters(std::string_view chars) override
    {
        if (m_inText)
            m_text.append(chars);
    }

private:
    SharedStrings& m_out;
    const qint64 m_bytes;
    std::string m_text;
    bool m_inItem = false;
    bool m_inText = false;
    int m_phonetic = 0;
};

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

bool readContentTypes(ZipPackage& package, QHash<QString, QString>& overrides, QString& error)
{
    ContentTypesHandler handler(overrides);
    return parseXmlPart(package, QStringLiteral("[Content_Types].xml"), kMaxPackagePartBytes, handler, error);
}

bool readRelationships(ZipPackage& package, const QString& sourcePart, std::vector<Relationship>& out, QString& error)
{
    const qsizetype slash = sourcePart.lastIndexOf(u'/');
    const QString relsPart =
        sourcePart.left(slash + 1) + QStringLiteral("_rels/") + sourcePart.mid(slash + 1) + QStringLiteral(".rels");
    if (package.find(relsPart) < 0)
        return true;
    RelationshipsHandler handler(sourcePart, out);
    return parseXmlPart(package, relsPart, kMaxPackagePartBytes, handler, error);
}

QString resolveTarget(const QString& sourcePart, const QString& target)
{
    QString path = QUrl::fromPercentEncoding(target.toUtf8());
    path.replace(u'\\', u'/');
    if (path.isEmpty())
        return {};
    if (!path.startsWith(u'/'))
        path.prepend(sourcePart.left(sourcePart.lastIndexOf(u'/') + 1));
    QStringList parts;
    for (const QString& segment : path.split(u'/', Qt::SkipEmptyParts)) {
        if (segment == u".")
            continue;
        if (segment == u"..") {
            if (parts.isEmpty())
                return {};
            parts.removeLast();
            continue;
        }
        parts.append(segment);
    }
    return parts.join(u'/');
}

bool hasType(const Relationship& rel, QStringView word)
{
    return rel.type.size() > word.size() && rel.type.endsWith(word) &&
           rel.type.at(rel.type.size() - word.size() - 1) == u'/';
}

bool readWorkbook(ZipPackage& package, const QString& part, WorkbookInfo& out, QString& error)
{
    WorkbookHandler handler(out);
    return parseXmlPart(package, part, kMaxPackagePartBytes, handler, error, true);
}

bool readDateStyles(ZipPackage& package, const QString& part, std::vector<bool>& out, QString& error)
{
    StylesHandler handler;
    if (!parseXmlPart(package, part, kMaxStylesBytes, handler, error))
        return false;
    handler.result(out);
    return true;
}

bool readSharedStrings(ZipPackage& package, const QString& part, SharedStrings& out, QString& error)
{
    SharedStringsHandler handler(out, package.declaredSize(package.find(part)));
    return parseXmlPart(package, part, kMaxPartBytes, handler, error);
}

QString cellText(std::string_view utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    if (utf8.find("_x") == std::string_view::npos)
        return text;
    qsizetype from = text.indexOf(u"_x");
    QString out;
    out.reserve(text.size());
    qsizetype done = 0;
    for (; from >= 0; from = text.indexOf(u"_x", from)) {
        if (from + 7 <= text.size() && text.at(from + 6) == u'_') {
            int value = 0;
            bool hex = true;
            for (int k = 2; k < 6 && hex; ++k) {
                const int h = hexValue(text.at(from + k));
                hex = h >= 0;
                value = value * 16 + h;
            }
            if (hex) {
                out.append(QStringView(text).mid(done, from - done));
                out.append(QChar(char16_t(value)));
                from += 7;
                done = from;
                continue;
            }
        }
        ++from;
    }
    out.append(QStringView(text).mid(done));
    return out;
}

} // namespace Xlsx
