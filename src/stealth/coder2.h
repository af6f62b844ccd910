// The block coder of the version-2 format: the syndrome-trellis coder once
// stealth/stc.h is part of the build, until then its stand-in. Everything in
// the format reaches the coder through `coder::`.
#pragma once

#if __has_include("stealth/stc.h")
#include "stealth/stc.h"
namespace kalmira::stealth {
namespace coder = stc;
}
#else
#include "stealth/stc_standin.h"
namespace kalmira::stealth {
namespace coder = stc_standin;
}
#endif
