// The writer's costs of the format from the cost module (stealth/costs.h):
// content-adaptive picture and sound costs and the JPEG-origin meter, as the
// CostModel that Hide2 and Capacity2 take. Available once the module is part
// of the build (KALMIRA_STANDARD_COSTS).
#pragma once

#include "stealth/stealth2.h"

#if __has_include("stealth/costs.h")
#define KALMIRA_STANDARD_COSTS 1

namespace kalmira::stealth {

CostModel StandardCosts(const ElementShape &shape);

} // namespace kalmira::stealth

#endif
