// The block coder of the version-2 format: the syndrome-trellis coder.
// Everything in the format reaches the coder through `coder::`.
#pragma once

#include "stealth/stc.h"

namespace kalmira::stealth {
namespace coder = stc;
}
