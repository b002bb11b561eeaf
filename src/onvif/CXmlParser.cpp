#include "onvif/CXmlParser.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <climits>
#include <mutex>

namespace velkora {

namespace {

void IgnoreXmlError(void*, xmlErrorPtr) {}

void IgnoreGenericXmlError(void*, const char*, ...) {}

// libxml2 reports some errors (encoding conversion among them) through the
// thread's global handlers, which print to stderr by default: silence them for
// the duration of our own calls and put back whatever the host had set.
class QuietXmlErrors
{
public:
    QuietXmlErrors()
        : generic(xmlGenericError), genericContext(xmlGenericErrorContext), structured(xmlStructuredError),
          structuredContext(xmlStructuredErrorContext)
    {
        xmlSetGenericErrorFunc(nullptr, IgnoreGenericXmlError);
        xmlSetStructuredErrorFunc(nullptr, IgnoreXmlError);
    }
    ~QuietXmlErrors()
    {
        xmlSetGenericErrorFunc(genericContext, generic);
        xmlSetStructuredErrorFunc(structuredContext, structured);
    }
    QuietXmlErrors(const QuietXmlErrors&) = delete;
    QuietXmlErrors& operator=(const QuietXmlErrors&) = delete;

private:
    xmlGenericErrorFunc generic;
    void* genericContext;
    xmlStructuredErrorFunc structured;
    void* structuredContext;
};

// A SOAP message may not carry a DTD; refusing it outright keeps entity
// declarations (external or recursive) from ever being looked at.
void RefuseInternalSubset(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
{
    auto* parser = static_cast<xmlParserCtxtPtr>(context);
    *static_cast<bool*>(parser->_private) = true;
    xmlStopParser(parser);
}

std::string FirstChildValue(xmlNodePtr node)
{
    if (node == nullptr)
        return {};
    xmlNodePtr child = node->children;
    if (child == nullptr || (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE))
        return {};
    return child->content != nullptr ? reinterpret_cast<const char*>(child->content) : std::string();
}

bool HasFirstChild(xmlNodePtr node)
{
    return node != nullptr && node->children != nullptr;
}

// The attribute of that name on an element, whatever its namespace.
bool FindAttribute(xmlNodePtr node, const std::string& name, std::string& value)
{
    if (node == nullptr || node->type != XML_ELEMENT_NODE)
        return false;
    for (xmlAttrPtr attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
        if (attribute->name == nullptr || name != reinterpret_cast<const char*>(attribute->name))
            continue;
        xmlChar* text = xmlNodeListGetString(node->doc, attribute->children, 1);
        value = text != nullptr ? reinterpret_cast<const char*>(text) : std::string();
        xmlFree(text);
        return true;
    }
    return false;
}

struct XPathResult {
    explicit XPathResult(xmlXPathObject* o) : object(o) {}
    ~XPathResult() { xmlXPathFreeObject(object); }
    XPathResult(const XPathResult&) = delete;
    XPathResult& operator=(const XPathResult&) = delete;

    int Count() const
    {
        return object != nullptr && object->type == XPATH_NODESET && object->nodesetval != nullptr
                   ? object->nodesetval->nodeNr
                   : 0;
    }
    xmlNodePtr At(int i) const { return object->nodesetval->nodeTab[i]; }

    xmlXPathObject* object;
};

}  // namespace

CXmlParser::CXmlParser()
{
    // libxml2's global state must be set up once before threads use it.
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
    namespaces.SetDefaults();
}

CXmlParser::~CXmlParser()
{
    Unload();
}

bool CXmlParser::Load(const std::string& answer)
{
    CAutoLock guard(lock);
    if (answer.empty())
        return false;
    namespaces.ParseDeclarations(answer);
    if (loaded)
        return false;
    if (answer.size() > static_cast<std::size_t>(INT_MAX))
        return false;

    QuietXmlErrors quiet;
    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (context == nullptr)
        return false;
    bool refused = false;
    context->_private = &refused;
    context->sax->internalSubset = RefuseInternalSubset;
    // No XML_PARSE_NOENT (entity substitution), no XML_PARSE_DTDLOAD/DTDATTR; blanks kept.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    xmlDocPtr parsed =
        xmlCtxtReadMemory(context, answer.data(), static_cast<int>(answer.size()), nullptr, nullptr, options);
    const bool wellFormed = context->wellFormed != 0;
    xmlFreeParserCtxt(context);
    if (parsed == nullptr || refused || !wellFormed || xmlDocGetRootElement(parsed) == nullptr) {
        xmlFreeDoc(parsed);
        return false;
    }
    document = parsed;
    text = answer;
    loaded = true;
    return true;
}

void CXmlParser::Unload()
{
    CAutoLock guard(lock);
    if (!loaded)
        return;
    namespaces.Clear();
    xmlFreeDoc(document);
    document = nullptr;
    text.clear();
    loaded = false;
}

xmlXPathObject* CXmlParser::Select(const std::string& xpath)
{
    if (!loaded || xpath.empty())
        return nullptr;
    QuietXmlErrors quiet;
    xmlXPathContextPtr context = xmlXPathNewContext(document);
    if (context == nullptr)
        return nullptr;
    context->error = IgnoreXmlError;
    context->node = reinterpret_cast<xmlNodePtr>(document);
    for (const auto& [prefix, entry] : namespaces.Entries())
        if (!prefix.empty() && !entry.uri.empty())
            xmlXPathRegisterNs(context, reinterpret_cast<const xmlChar*>(prefix.c_str()),
                               reinterpret_cast<const xmlChar*>(entry.uri.c_str()));
    xmlXPathObjectPtr result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath.c_str()), context);
    xmlXPathFreeContext(context);
    return result;
}

std::string CXmlParser::GetNodeText(const std::string& xpath)
{
    CAutoLock guard(lock);
    XPathResult result(Select(xpath));
    return result.Count() > 0 ? FirstChildValue(result.At(0)) : std::string();
}

std::vector<std::string> CXmlParser::GetNodeTexts(const std::string& xpath)
{
    CAutoLock guard(lock);
    std::vector<std::string> texts;
    XPathResult result(Select(xpath));
    for (int i = 0; i < result.Count(); ++i)
        if (HasFirstChild(result.At(i)))
            texts.push_back(FirstChildValue(result.At(i)));
    return texts;
}

std::string CXmlParser::GetAttribute(const std::string& name, const std::string& xpath)
{
    CAutoLock guard(lock);
    XPathResult result(Select(xpath));
    std::string value;
    if (result.Count() > 0)
        FindAttribute(result.At(0), name, value);
    return value;
}

std::vector<std::string> CXmlParser::GetAttributes(const std::string& name, const std::string& xpath)
{
    CAutoLock guard(lock);
    std::vector<std::string> values;
    XPathResult result(Select(xpath));
    for (int i = 0; i < result.Count(); ++i) {
        std::string value;
        if (FindAttribute(result.At(i), name, value))
            values.push_back(std::move(value));
    }
    return values;
}

bool CXmlParser::NodeExists(const std::string& xpath)
{
    CAutoLock guard(lock);
    XPathResult result(Select(xpath));
    return result.Count() > 0;
}

// g++ 12 at -O3 sees an overlapping copy in `literal + std::string&&` that
// cannot overlap (a known false positive of its -Wrestrict).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
std::string XPathLiteral(const std::string& value)
{
    if (value.find('"') == std::string::npos)
        return "\"" + value + "\"";
    if (value.find('\'') == std::string::npos)
        return "'" + value + "'";
    std::string result = "concat(";
    std::size_t pos = 0;
    bool first = true;
    while (pos <= value.size()) {
        std::size_t quote = value.find('"', pos);
        const std::string part = value.substr(pos, quote == std::string::npos ? std::string::npos : quote - pos);
        if (!part.empty()) {
            result += (first ? "" : ",") + ("\"" + part + "\"");
            first = false;
        }
        if (quote == std::string::npos)
            break;
        result += (first ? "" : ",") + std::string("'\"'");
        first = false;
        pos = quote + 1;
    }
    return result + ")";
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace velkora
