#pragma once

class Host;

// The shell's own windows and commands behind their menu items: Options, the record length, the
// G-code definitions and Define Selected Text.
void registerShellWindows(Host &host);
