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

// The splash and about windows. "LOGO" is a named bitmap; the larger
// pictures are drawn at twice their size and brought down to the screen's.
#define IDB_LOGO_2X 12
#define IDB_ABOUT_DEVELOPER_2X 13
#define IDB_ABOUT_BRANTWICK_2X 14

#define IDD_ABOUT_NORVALE 220
#define IDD_ABOUT_BRANTWICK 221

#define IDC_ABOUT_LOGO 1101
#define IDC_ABOUT_VERSION 1102
#define IDC_ABOUT_CREDITS 1103
#define IDC_ABOUT_DEVELOPER 1104
#define IDC_ABOUT_PICTURE 1105
#define IDC_ABOUT_MAKERLINK 1106
#define IDC_ABOUT_DEVELOPERLINK 1107
#define IDC_ABOUT_HOMEPAGETEXT 1108
#define IDC_ABOUT_HOMEPAGELINK 1109
