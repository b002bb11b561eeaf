#pragma once

#include <map>
#include <string>

namespace velkora {

// Prefix -> namespace URI table. Serves both sides of the ONVIF exchange: the
// xmlns declarations of our requests and the XPath bindings used to read answers.
class CXmlNamespaces
{
public:
    struct Entry {
        std::string uri;
        bool isDefault = false;  // placed by SetDefaults and never changed since
    };

    virtual ~CXmlNamespaces() = default;

    void SetDefaults();
    void Add(const std::string& prefix, const std::string& uri);
    void Merge(const CXmlNamespaces& other);
    void Clear() { entries.clear(); }

    void ParseDeclarations(const std::string& document);
    void ParseCustom(const std::string& text);
    std::string GetCustom() const;

    std::string GetSelectionNamespaces() const;
    std::string GetDeclaration(const std::string& prefix) const;
    std::string GetDefaultDeclaration(const std::string& prefix) const;

    // Empty when the prefix is unknown.
    std::string GetUri(const std::string& prefix) const;
    const std::map<std::string, Entry>& Entries() const { return entries; }

private:
    std::map<std::string, Entry> entries;
};

// Namespace names used directly by the client.
namespace XmlNs {
inline constexpr const char* SoapEnvelope = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr const char* Schema = "http://www.onvif.org/ver10/schema";
inline constexpr const char* Device = "http://www.onvif.org/ver10/device/wsdl";
inline constexpr const char* Media = "http://www.onvif.org/ver10/media/wsdl";
inline constexpr const char* Secext =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr const char* Utility =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr const char* PasswordDigestType =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
}  // namespace XmlNs

}  // namespace velkora
