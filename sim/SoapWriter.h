#pragma once

#include "sim/DeviceModel.h"

#include <string>
#include <string_view>

namespace sim {

inline constexpr const char* kSoapEnvelopeNs = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr const char* kDeviceNs = "http://www.onvif.org/ver10/device/wsdl";
inline constexpr const char* kMediaNs = "http://www.onvif.org/ver10/media/wsdl";
inline constexpr const char* kPtzNs = "http://www.onvif.org/ver20/ptz/wsdl";
inline constexpr const char* kSchemaNs = "http://www.onvif.org/ver10/schema";

std::string XmlEscape(std::string_view text);
// A SOAP 1.2 envelope around `body` declaring SOAP-ENV, tt, tds, trt and ter.
std::string SoapEnvelope(const std::string& body);
// A SOAP 1.2 fault envelope with the error's code, subcodes and reason.
std::string SoapFault(const OnvifError& error);

}  // namespace sim
