#pragma once
// Messages name where they come from as "velkora::<Class>::<Method>". Each
// class keeps its own name in one constant (kClassName) and builds the text
// here, so that the namespace word and the separators cannot drift.

#include <string>
#include <string_view>

namespace velkora {

std::string MethodName(std::string_view className, std::string_view method);

}  // namespace velkora
