#include "onvif/CXmlNamespaces.h"

#include <cstddef>

namespace velkora {

namespace {

struct BuiltIn {
    const char* prefix;
    const char* uri;
};

// In the order SetDefaults enters them.
constexpr BuiltIn kBuiltIns[] = {
    {"SOAP-ENV", XmlNs::SoapEnvelope},
    {"SOAP-ENC", "http://www.w3.org/2003/05/soap-encoding"},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance"},
    {"xsd", "http://www.w3.org/2001/XMLSchema"},
    {"c14n", "http://www.w3.org/2001/10/xml-exc-c14n#"},
    {"ds", "http://www.w3.org/2000/09/xmldsig#"},
    {"ns1", "http://www.w3.org/2005/05/xmlmime"},
    {"tt", XmlNs::Schema},
    {"wsnt", "http://docs.oasis-open.org/wsn/b-2"},
    {"wsa5", "http://www.w3.org/2005/08/addressing"},
    {"wsbf", "http://docs.oasis-open.org/wsrf/bf-2"},
    {"wstop", "http://docs.oasis-open.org/wsn/t-1"},
    {"tds", XmlNs::Device},
    {"trt", XmlNs::Media},
    {"tptz", "http://www.onvif.org/ver20/ptz/wsdl"},
    {"tev", "http://www.onvif.org/ver10/events/wsdl"},
    {"tns1", "http://www.onvif.org/ver10/topics"},
    {"wsse", XmlNs::Secext},
    {"wsu", XmlNs::Utility},
};

// The order in which overrides of built-in prefixes are exported.
constexpr const char* kCustomOrder[] = {"SOAP-ENV", "SOAP-ENC", "wsse", "wsu",  "xsi",  "xsd",  "c14n",
                                        "ds",       "ns1",      "tt",   "wsnt", "wsa5", "wsbf", "wstop",
                                        "tds",      "trt",      "tptz", "tev",  "tns1"};

}  // namespace

void CXmlNamespaces::SetDefaults()
{
    for (const BuiltIn& b : kBuiltIns)
        entries[b.prefix] = Entry{b.uri, true};
}

void CXmlNamespaces::Add(const std::string& prefix, const std::string& uri)
{
    if (prefix.empty() || uri.empty())
        return;
    auto it = entries.find(prefix);
    if (it == entries.end())
        entries.emplace(prefix, Entry{uri, false});
    else if (it->second.uri != uri)
        it->second = Entry{uri, false};
}

void CXmlNamespaces::Merge(const CXmlNamespaces& other)
{
    for (const auto& [prefix, entry] : other.entries)
        if (!entry.isDefault)
            Add(prefix, entry.uri);
}

void CXmlNamespaces::ParseDeclarations(const std::string& document)
{
    // A text scan rather than a parse: it also runs on answers that do not load.
    // Single quotes and tabs count like double quotes and blanks, so that
    // declarations written with them are not read as URIs with quotes inside.
    static const char* const kDelimiters = " =\"'\t\r\n";
    static const std::string kMark = "xmlns:";
    std::size_t pos = document.find(kMark);
    while (pos != std::string::npos) {
        const std::size_t prefixStart = pos + kMark.size();
        const std::size_t prefixEnd = document.find_first_of(kDelimiters, prefixStart);
        if (prefixEnd == std::string::npos)
            return;
        std::size_t next = prefixEnd;
        if (prefixEnd > prefixStart) {
            const std::size_t uriStart = document.find_first_not_of("=\"'", prefixEnd);
            if (uriStart == std::string::npos)
                return;
            const std::size_t uriEnd = document.find_first_of(kDelimiters, uriStart);
            if (uriEnd == std::string::npos)
                return;
            if (uriEnd > uriStart)
                Add(document.substr(prefixStart, prefixEnd - prefixStart),
                    document.substr(uriStart, uriEnd - uriStart));
            next = uriEnd;
        }
        pos = document.find(kMark, next);
    }
}

void CXmlNamespaces::ParseCustom(const std::string& text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find(' ', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string token = text.substr(pos, end - pos);
        const std::size_t eq = token.find('=');
        if (eq != std::string::npos)
            Add(token.substr(0, eq), token.substr(eq + 1));
        pos = end + 1;
    }
}

std::string CXmlNamespaces::GetCustom() const
{
    std::string result;
    for (const char* prefix : kCustomOrder) {
        auto it = entries.find(prefix);
        if (it == entries.end() || it->second.uri.empty() || it->second.isDefault)
            continue;
        if (!result.empty())
            result += ' ';
        result += prefix;
        result += '=';
        result += it->second.uri;
    }
    return result;
}

std::string CXmlNamespaces::GetSelectionNamespaces() const
{
    std::string result;
    for (const auto& [prefix, entry] : entries) {
        if (prefix.empty() || entry.uri.empty())
            continue;
        if (!result.empty())
            result += ' ';
        result += "xmlns:" + prefix + "=\"" + entry.uri + "\"";
    }
    return result;
}

std::string CXmlNamespaces::GetDeclaration(const std::string& prefix) const
{
    const std::string uri = GetUri(prefix);
    return uri.empty() ? std::string() : " xmlns:" + prefix + "=\"" + uri + "\"";
}

std::string CXmlNamespaces::GetDefaultDeclaration(const std::string& prefix) const
{
    const std::string uri = GetUri(prefix);
    return uri.empty() ? std::string() : " xmlns=\"" + uri + "\"";
}

std::string CXmlNamespaces::GetUri(const std::string& prefix) const
{
    auto it = entries.find(prefix);
    return it == entries.end() ? std::string() : it->second.uri;
}

}  // namespace velkora
