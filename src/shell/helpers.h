// Path and number helpers shared by all windows and engines.
#pragma once

#include "shell/ui.h"

#include <string>

namespace kalmira {

// Both '\' and '/' separate folders, so Windows-style paths split as on Windows.
std::string ExtensionOf(const std::string &name);
std::string FolderOf(const std::string &path);
std::string FileNameOf(const std::string &path);
std::string BaseNameOf(const std::string &path);

// The two flags the windows share.
struct SharedFlags {
    bool carrierUsable = false;
    bool hideRunDone = false;
};
SharedFlags &Flags();

// "#,###,###" with '.' as the German thousands separator; 0 gives "" as that
// pattern does.
std::string FormatThousands(long long value);

} // namespace kalmira
