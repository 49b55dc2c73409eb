#pragma once

class Host;

// The shell's own windows behind their menu items: Options and the record length.
void registerShellWindows(Host &host);
