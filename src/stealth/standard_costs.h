// The writer's costs of the format from the cost module (stealth/costs.h):
// content-adaptive picture and sound costs and the JPEG-origin meter, as the
// CostModel that Hide2 and Capacity2 take.
#pragma once

#include "stealth/stealth2.h"

namespace kalmira::stealth {

CostModel StandardCosts(const ElementShape &shape);

} // namespace kalmira::stealth
