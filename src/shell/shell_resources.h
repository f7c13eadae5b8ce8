#pragma once

// Identifiers of the shell's resources, shared by the resource script and
// the code.

#define IDI_NORVALE 1
#define IDB_COMMANDS 10
#define IDB_SPAWN 11
#define IDM_MAINMENU 20

// Commands, in the order of the command set; the menu, the tool bar and the
// tray menu send them.
#define ID_AC_PROPERTIES 101
#define ID_AC_SHOWDEBUGWINDOW 102
#define ID_AC_ABOUT 103
#define ID_AC_CLOSE 104
#define ID_AC_FLUSHOUTPUTFILE 105
#define ID_MU_FILESPAWN 110
