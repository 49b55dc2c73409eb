#pragma once

class Host;

namespace search {

// Find and Replace behind their menu items, and the context menu's Find, which opens Find with the
// editor's selection as the text to find.
void registerWindows(Host &host);

} // namespace search
