#pragma once

#include "ZipPackage.h"

#include <QString>

#include <string_view>

namespace Xlsx {

// Receives one part's XML as it streams in. Element names come without their
// namespace or prefix; attributes as expat gives them: name, value, ..., null.
// With namespaces resolved, a namespaced attribute's name reads "uri\x01local".
class XmlHandler
{
public:
    virtual ~XmlHandler() = default;
    virtual void start(std::string_view name, const char** attributes) = 0;
    virtual void end(std::string_view name) = 0;
    virtual void characters(std::string_view) {}

    // Stops the parse; the part then counts as damaged for this reason.
    void fail(const QString& reason);
    bool failed() const { return !m_failure.isEmpty(); }
    const QString& failure() const { return m_failure; }

private:
    friend bool parseXmlPart(ZipPackage&, const QString&, qint64, XmlHandler&, QString&, bool);
    void* m_parser = nullptr;
    QString m_failure;
};

// Parses one part of the package through `handler`. False, with `error`, when
// the part is missing, over `limit`, damaged, not well-formed, holds a DTD (and
// so any entity declaration), or the handler failed. Resolving namespaces costs
// time on large parts; without it, element prefixes are simply dropped.
bool parseXmlPart(ZipPackage& package, const QString& partName, qint64 limit, XmlHandler& handler, QString& error,
                  bool resolveNamespaces = false);

// The value of an attribute without namespace, or nullptr.
const char* attribute(const char** attributes, std::string_view name);
// The value of a namespaced attribute whose namespace ends in `namespaceEnd`, or nullptr.
const char* namespacedAttribute(const char** attributes, std::string_view namespaceEnd, std::string_view name);

} // namespace Xlsx
