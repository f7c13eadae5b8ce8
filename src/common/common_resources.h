#pragma once

// Identifiers of the resources of the shared window pieces.

#define IDD_TABBEDFORM 200
#define IDC_PAGES 201
#define IDC_APPLY 202
