#include "transform/Transform.h"

#include "error_handling/ProcedureTrap.h"

namespace xmlpellor::transform {

// Placeholder until the libxml2/libxslt layer lands.
Variant CreateHTMLFromXMLXSL(ErrorHandling& errors, const std::string&, const std::string&,
                             const Variant&) noexcept {
  return Guarded<Variant>(errors, [](Variant&) {});
}

}  // namespace xmlpellor::transform
