#pragma once

class Host;

namespace search {

// Find, Replace and Find (List) behind their menu items; the context menu's Find, which opens
// Find with the editor's selection as the text to find; and File, Print.
void registerWindows(Host &host);

} // namespace search
