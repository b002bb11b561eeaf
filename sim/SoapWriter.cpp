#include "sim/SoapWriter.h"

namespace sim {

std::string XmlEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string SoapEnvelope(const std::string& body)
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"") +
           kSoapEnvelopeNs +
           "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
           " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
           " xmlns:tt=\"" +
           kSchemaNs + "\" xmlns:tds=\"" + kDeviceNs + "\" xmlns:trt=\"" + kMediaNs +
           "\" xmlns:ter=\"http://www.onvif.org/ver10/error\">"
           "<SOAP-ENV:Header/><SOAP-ENV:Body>" +
           body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
}

std::string SoapFault(const OnvifError& e)
{
    std::string code = "<SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:" + XmlEscape(e.code) + "</SOAP-ENV:Value>";
    if (!e.subcode.empty()) {
        code += "<SOAP-ENV:Subcode><SOAP-ENV:Value>" + XmlEscape(e.subcode) + "</SOAP-ENV:Value>";
        if (!e.subsubcode.empty())
            code +=
                "<SOAP-ENV:Subcode><SOAP-ENV:Value>" + XmlEscape(e.subsubcode) + "</SOAP-ENV:Value></SOAP-ENV:Subcode>";
        code += "</SOAP-ENV:Subcode>";
    }
    code += "</SOAP-ENV:Code>";
    return SoapEnvelope("<SOAP-ENV:Fault>" + code + "<SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">" +
                        XmlEscape(e.reason) + "</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>");
}

}  // namespace sim
