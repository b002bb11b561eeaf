#pragma once

#include <libxml/tree.h>

#include <memory>
#include <optional>
#include <string>

namespace sim {

// A SOAP 1.2 request as received: the parsed document, its security header
// and the operation element (first child of the body).
class SoapRequest
{
public:
    // nullopt with `error` when the text is not a SOAP 1.2 envelope with a body
    // operation. `versionMismatch` is set for an envelope of another SOAP version.
    static std::optional<SoapRequest> Parse(const std::string& text, std::string* error, bool* versionMismatch);

    const xmlNode* Operation() const { return operation_; }
    const xmlNode* Security() const { return security_; }
    const xmlNode* Header() const { return header_; }
    std::string OperationName() const;
    std::string OperationNamespace() const;

private:
    struct DocFree {
        void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
    };
    std::shared_ptr<xmlDoc> doc_;
    const xmlNode* operation_ = nullptr;
    const xmlNode* security_ = nullptr;
    const xmlNode* header_ = nullptr;
};

// First element child with this local name (any namespace), or null.
const xmlNode* FindChild(const xmlNode* parent, const char* localName);
// Text content of an element, blanks trimmed at both ends; empty for null.
std::string NodeText(const xmlNode* node);
// Text of the element at a '/'-separated path of local names below `parent`.
std::string PathText(const xmlNode* parent, const std::string& path);
std::optional<std::string> Attribute(const xmlNode* node, const char* name);

}  // namespace sim
