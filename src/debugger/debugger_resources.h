#pragma once

// Identifiers of the debugger's resources, shared by the resource script and
// the code.

// The seven pictures of the process window, side by side.
#define IDB_VIEWS 30
