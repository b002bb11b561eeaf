#pragma once

#include "sim/SoapWriter.h"

#include <string>

namespace sim {

// Building blocks of the answers: an element with escaped text, a Min/Max range.
inline std::string XmlTag(const char* name, const std::string& text)
{
    return std::string("<") + name + ">" + XmlEscape(text) + "</" + name + ">";
}

inline std::string XmlTag(const char* name, long value)
{
    return XmlTag(name, std::to_string(value));
}

inline std::string XmlRange(const char* name, const std::string& min, const std::string& max)
{
    return std::string("<") + name + "><tt:Min>" + min + "</tt:Min><tt:Max>" + max + "</tt:Max></" + name + ">";
}

inline OnvifError OperationNotSupported(const std::string& op)
{
    return {"Receiver", "ter:ActionNotSupported", "", "The operation " + op + " is not supported by this service"};
}

}  // namespace sim
