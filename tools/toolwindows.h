#pragma once

class Host;

namespace tools {

// Every tool window behind its menu item.
void registerWindows(Host &host);

} // namespace tools
