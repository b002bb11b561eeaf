#pragma once

#include "onvif/CXmlNamespaces.h"

#include "foundation/CRecursiveLock.h"
#include <string>
#include <vector>

typedef struct _xmlDoc xmlDoc;
typedef struct _xmlXPathObject xmlXPathObject;

namespace velkora {

// One device answer loaded as a DOM and queried by XPath with the prefixes of
// its own namespace table (the built-in ones plus those the answer declares),
// whatever prefixes the device used. Answers are untrusted: no network access,
// no DTD, no entity expansion.
class CXmlParser
{
public:
    CXmlParser();
    virtual ~CXmlParser();
    CXmlParser(const CXmlParser&) = delete;
    CXmlParser& operator=(const CXmlParser&) = delete;

    bool Load(const std::string& answer);
    void Unload();
    bool IsLoaded() const { return loaded; }

    // Value of the first child (text or CDATA) of the first selected node.
    std::string GetNodeText(const std::string& xpath);
    std::vector<std::string> GetNodeTexts(const std::string& xpath);
    std::string GetAttribute(const std::string& name, const std::string& xpath);
    std::vector<std::string> GetAttributes(const std::string& name, const std::string& xpath);
    bool NodeExists(const std::string& xpath);

    const CXmlNamespaces& Namespaces() const { return namespaces; }

private:
    xmlXPathObject* Select(const std::string& xpath);

    CRecursiveLock lock;
    xmlDoc* document = nullptr;
    bool loaded = false;
    CXmlNamespaces namespaces;
    std::string text;
};

// An XPath string literal holding `value`: quoted with whichever quote it lacks,
// or built with concat() when it holds both, so that device texts cannot break
// or alter the expression.
std::string XPathLiteral(const std::string& value);

}  // namespace velkora
