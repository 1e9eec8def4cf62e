// Placeholder until values are validated.
#include "zarncfg_validate.h"

void zarncfg_validate(ConfigRecord&, const std::string&, std::span<const ConfigOptionDef>, std::span<const int>,
                      std::span<const MinMaxRequirement>, std::string_view, vd_msgid_t& status) {
  status = 0;
}
