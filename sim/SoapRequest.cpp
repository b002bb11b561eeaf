#include "sim/SoapRequest.h"

#include "sim/SoapWriter.h"

#include <libxml/parser.h>

#include <cstring>

namespace sim {

namespace {

bool Is(const xmlNode* n, const char* local, const char* ns)
{
    return n && n->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(n->name), local) == 0 &&
           n->ns && n->ns->href && std::strcmp(reinterpret_cast<const char*>(n->ns->href), ns) == 0;
}

const xmlNode* FirstElement(const xmlNode* parent)
{
    for (const xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE)
            return c;
    return nullptr;
}

}  // namespace

std::optional<SoapRequest> SoapRequest::Parse(const std::string& text, std::string* error, bool* versionMismatch)
{
    if (versionMismatch)
        *versionMismatch = false;
    auto fail = [&](const char* why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    // No network, no entity expansion, no DTD: a request cannot reach files or blow up memory.
    xmlDoc* raw = xmlReadMemory(text.data(), static_cast<int>(text.size()), "request.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!raw)
        return fail("The request is not well-formed XML");
    SoapRequest r;
    r.doc_.reset(raw, DocFree{});
    if (raw->intSubset || raw->extSubset)
        return fail("A SOAP message must not carry a document type declaration");
    const xmlNode* env = xmlDocGetRootElement(raw);
    if (!env || std::strcmp(reinterpret_cast<const char*>(env->name), "Envelope") != 0)
        return fail("The document is not a SOAP envelope");
    if (!Is(env, "Envelope", kSoapEnvelopeNs)) {
        if (versionMismatch)
            *versionMismatch = true;
        return fail("Only SOAP 1.2 envelopes are understood");
    }
    const xmlNode* header = nullptr;
    const xmlNode* body = nullptr;
    for (const xmlNode* c = env->children; c; c = c->next) {
        if (Is(c, "Header", kSoapEnvelopeNs))
            header = c;
        if (Is(c, "Body", kSoapEnvelopeNs))
            body = c;
    }
    if (!body)
        return fail("The envelope has no body");
    r.operation_ = FirstElement(body);
    if (!r.operation_ || !r.operation_->ns)
        return fail("The body holds no operation");
    r.header_ = header;
    if (header)
        r.security_ = FindChild(header, "Security");
    return r;
}

std::string SoapRequest::OperationName() const
{
    return reinterpret_cast<const char*>(operation_->name);
}

std::string SoapRequest::OperationNamespace() const
{
    return operation_->ns && operation_->ns->href ? reinterpret_cast<const char*>(operation_->ns->href) : "";
}

const xmlNode* FindChild(const xmlNode* parent, const char* localName)
{
    for (const xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(c->name), localName) == 0)
            return c;
    return nullptr;
}

std::string NodeText(const xmlNode* node)
{
    if (!node)
        return {};
    xmlChar* content = xmlNodeGetContent(node);
    std::string s = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string PathText(const xmlNode* parent, const std::string& path)
{
    const xmlNode* n = parent;
    std::size_t pos = 0;
    while (n && pos <= path.size()) {
        const auto slash = path.find('/', pos);
        const std::string part = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        n = FindChild(n, part.c_str());
        if (slash == std::string::npos)
            break;
        pos = slash + 1;
    }
    return NodeText(n);
}

std::optional<std::string> Attribute(const xmlNode* node, const char* name)
{
    if (!node)
        return std::nullopt;
    xmlChar* v = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    if (!v)
        return std::nullopt;
    std::string s = reinterpret_cast<const char*>(v);
    xmlFree(v);
    return s;
}

}  // namespace sim
