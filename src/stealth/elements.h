// The element carrier of the carrier layer, under the names the format uses.
#pragma once

#include "carrier/elements.h"

namespace kalmira::stealth {
using carrier::Change;
using carrier::ElementReader;
using carrier::ElementShape;
using carrier::ElementWriter;
using carrier::Medium;
using carrier::PictureShape;
using carrier::SoundShape;
} // namespace kalmira::stealth
