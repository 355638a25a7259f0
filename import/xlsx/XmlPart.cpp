#include "XmlPart.h"

#include <expat.h>

#include <cstring>
#include <memory>

namespace Xlsx {

namespace {

// Never part of a namespace name: XML forbids the character.
constexpr char kSeparator = '\x01';
constexpr int kChunk = 64 * 1024;

template <char separator> std::string_view localName(const char* name)
{
    const char* sep = std::strrchr(name, separator);
    return sep ? std::string_view(sep + 1) : std::string_view(name);
}

template <char separator> void XMLCALL onStart(void* data, const char* name, const char** attributes)
{
    auto* handler = static_cast<XmlHandler*>(data);
    if (!handler->failed())
        handler->start(localName<separator>(name), attributes);
}

template <char separator> void XMLCALL onEnd(void* data, const char* name)
{
    auto* handler = static_cast<XmlHandler*>(data);
    if (!handler->failed())
        handler->end(localName<separator>(name));
}

void XMLCALL onCharacters(void* data, const char* text, int length)
{
    auto* handler = static_cast<XmlHandler*>(data);
    if (!handler->failed())
        handler->characters(std::string_view(text, size_t(length)));
}

void XMLCALL onDoctype(void* data, const char*, const char*, const char*, int)
{
    static_cast<XmlHandler*>(data)->fail(QStringLiteral("holds a DTD, which no spreadsheet part has"));
}

void XMLCALL onEntity(void* data, const char*, int, const char*, int, const char*, const char*, const char*,
                      const char*)
{
    static_cast<XmlHandler*>(data)->fail(QStringLiteral("declares an entity"));
}

struct ParserDeleter
{
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

} // namespace

void XmlHandler::fail(const QString& reason)
{
    if (m_failure.isEmpty())
        m_failure = reason;
    if (m_parser)
        XML_StopParser(static_cast<XML_Parser>(m_parser), XML_FALSE);
}

bool parseXmlPart(ZipPackage& package, const QString& partName, qint64 limit, XmlHandler& handler, QString& error,
                  bool resolveNamespaces)
{
    const qint64 index = package.find(partName);
    if (index < 0) {
        error = QStringLiteral("part %1 is missing").arg(partName);
        return false;
    }
    ZipPackage::Reader reader(package, index, limit);
    if (!reader.isOpen()) {
        error = reader.error();
        return false;
    }
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(resolveNamespaces ? XML_ParserCreateNS(nullptr, kSeparator)
                                                                              : XML_ParserCreate(nullptr));
    if (!parser) {
        error = QStringLiteral("out of memory");
        return false;
    }
    XML_Parser p = parser.get();
    XML_SetUserData(p, &handler);
    if (resolveNamespaces)
        XML_SetElementHandler(p, onStart<kSeparator>, onEnd<kSeparator>);
    else
        XML_SetElementHandler(p, onStart<':'>, onEnd<':'>);
    XML_SetCharacterDataHandler(p, onCharacters);
    XML_SetStartDoctypeDeclHandler(p, onDoctype);
    XML_SetEntityDeclHandler(p, onEntity);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
    handler.m_parser = p;
    struct Detach
    {
        XmlHandler& h;
        ~Detach() { h.m_parser = nullptr; }
    } detach{handler};

    for (;;) {
        void* buffer = XML_GetBuffer(p, kChunk);
        if (!buffer) {
            error = QStringLiteral("%1: out of memory").arg(partName);
            return false;
        }
        const qint64 n = reader.read(static_cast<char*>(buffer), kChunk);
        if (n < 0) {
            error = reader.error();
            return false;
        }
        if (XML_ParseBuffer(p, int(n), n == 0) != XML_STATUS_OK) {
            if (handler.failed())
                error = QStringLiteral("%1 %2").arg(partName, handler.failure());
            else
                error = QStringLiteral("%1 is not well-formed XML (line %2: %3)")
                            .arg(partName)
                            .arg(quint64(XML_GetCurrentLineNumber(p)))
                            .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(p))));
            return false;
        }
        if (n == 0)
            break;
    }
    if (handler.failed()) {
        error = QStringLiteral("%1 %2").arg(partName, handler.failure());
        return false;
    }
    return true;
}

const char* attribute(const char** attributes, std::string_view name)
{
    for (const char** a = attributes; *a; a += 2) {
        if (name == a[0])
            return a[1];
    }
    return nullptr;
}

const char* namespacedAttribute(const char** attributes, std::string_view namespaceEnd, std::string_view name)
{
    for (const char** a = attributes; *a; a += 2) {
        const std::string_view full(a[0]);
        const size_t sep = full.find(kSeparator);
        if (sep == std::string_view::npos || full.substr(sep + 1) != name)
            continue;
        if (full.substr(0, sep).ends_with(namespaceEnd))
            return a[1];
    }
    return nullptr;
}

} // namespace Xlsx
