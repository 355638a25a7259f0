#pragma once

#include "XmlPart.h"

#include <string>
#include <string_view>
#include <vector>

namespace Xlsx {

// A lean reader of the XML that spreadsheet writers produce, for the parts too
// large for expat's pace (the sheets). It feeds an XmlHandler exactly the
// events parseXmlPart() would: element names without prefix, attributes with
// their names as written and their values normalised and unescaped, character
// data unescaped with line ends made "\n".
//
// It reads a subset of XML: elements, attributes in either quotes, the five
// predefined entities and character references, an XML declaration for UTF-8.
// Anything else (comments, processing instructions, CDATA, a DTD, other
// encodings, text that is not well-formed) makes it give up, and the caller
// reads the part with expat instead, which then also words any error.
class XmlScanner
{
public:
    enum class Status
    {
        More,        // give it the next piece
        Done,        // the document ended well
        Failed,      // the handler failed
        Unsupported, // beyond the subset, or not well-formed
    };

    explicit XmlScanner(XmlHandler& handler) : m_handler(handler) {}

    // The next piece of the document; `last` when no more follows.
    Status feed(std::string_view piece, bool last);

private:
    Status parse(bool last);
    bool declaration(size_t& at, bool last, bool& more);
    Status startTag(const char* begin, const char* end);
    Status endTag(const char* begin, const char* end);
    Status text(const char* begin, const char* end);
    // Unescapes an attribute value or character data into m_scratch; false when not well-formed.
    bool unescape(const char* begin, const char* end, bool attribute);

    XmlHandler& m_handler;
    std::string m_buffer;
    size_t m_consumed = 0;
    bool m_prolog = true; // the XML declaration may still come
    bool m_rootSeen = false;
    std::string m_open;             // names of the open elements, end to end
    std::vector<size_t> m_openEnds; // where each ends in m_open
    std::string m_scratch;
    std::string m_attributes;            // "name\0value\0" of the tag being read
    std::vector<size_t> m_attributeAt;   // offsets of names and values in it
    std::vector<const char*> m_pointers; // as the handler takes them
};

// Reads one part through XmlScanner. Unsupported: nothing is wrong that the
// scanner knows of, but the part must be read with parseXmlPart(); the handler
// may have had events already. Failed: `error` says why, worded as
// parseXmlPart() words it.
XmlScanner::Status scanXmlPart(ZipPackage& package, const QString& partName, qint64 limit, XmlHandler& handler,
                               QString& error);

} // namespace Xlsx
