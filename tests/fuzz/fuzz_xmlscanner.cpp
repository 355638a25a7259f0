// The bytes as a sheet's XML, read by the sheet scanner whole and cut in two,
// and by expat: whenever the scanner takes a document, expat must take it too
// and give the same events; the cut must change nothing.
#include "import/xlsx/XmlScanner.h"

#include <expat.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Every event as one line of text; adjacent character data joined, as its pieces differ.
class Log : public Xlsx::XmlHandler
{
public:
    void start(std::string_view name, const char** attributes) override
    {
        flush();
        out += '<';
        out += name;
        for (const char** a = attributes; *a; a += 2) {
            out += ' ';
            out += a[0];
            out += '\x02';
            out += a[1];
            out += '\x03';
        }
        out += ">\n";
    }
    void end(std::string_view name) override
    {
        flush();
        out += "</";
        out += name;
        out += ">\n";
    }
    void characters(std::string_view chars) override { text += chars; }
    void flush()
    {
        if (!text.empty())
            out += '\'' + text + "'\n";
        text.clear();
    }

    std::string out;
    std::string text;
};

// Element names without their prefix, as the readers' expat glue gives them.
std::string_view local(const char* name)
{
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool expat(const uint8_t* data, size_t size, Log& log)
{
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, &log);
    XML_SetElementHandler(
        p, [](void* d, const char* n, const char** a) { static_cast<Log*>(d)->start(local(n), a); },
        [](void* d, const char* n) { static_cast<Log*>(d)->end(local(n)); });
    XML_SetCharacterDataHandler(
        p, [](void* d, const char* s, int n) { static_cast<Log*>(d)->characters(std::string_view(s, size_t(n))); });
    const bool ok = XML_Parse(p, reinterpret_cast<const char*>(data), int(size), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(p);
    log.flush();
    return ok;
}

Xlsx::XmlScanner::Status scan(const uint8_t* data, size_t size, size_t cut, Log& log)
{
    Xlsx::XmlScanner scanner(log);
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    auto status = scanner.feed(all.substr(0, cut), cut == size);
    if (status == Xlsx::XmlScanner::Status::More && cut < size)
        status = scanner.feed(all.substr(cut), true);
    log.flush();
    return status;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (size_t(1) << 20))
        return 0;
    using Status = Xlsx::XmlScanner::Status;
    Log whole, cut;
    const Status status = scan(data, size, size, whole);
    const Status cutStatus = scan(data, size, size ? data[0] % (size + 1) : 0, cut);
    if (status != cutStatus || (status == Status::Done && whole.out != cut.out))
        __builtin_trap();
    if (status == Status::Done) {
        Log reference;
        if (!expat(data, size, reference) || reference.out != whole.out)
            __builtin_trap();
    }
    return 0;
}
