#pragma once

class Host;

namespace macro {

// Create/ Edit Macro and Run Macro behind their menu items.
void registerWindows(Host &host);

} // namespace macro
