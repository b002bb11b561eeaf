#include "foundation/MethodName.h"

namespace velkora {

std::string MethodName(std::string_view className, std::string_view method)
{
    std::string text = "velkora::";
    text.append(className).append("::").append(method);
    return text;
}

}  // namespace velkora
