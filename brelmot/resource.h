// Resource identifiers of brelmot.exe, shared by brelmot.rc and the code.
#pragma once

#define IDS_APP_TITLE 103
#define IDD_ABOUTBOX 103
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDS_HELLO 106
#define IDI_BRELMOT 107
#define IDI_SMALL 108
/* string (window class name), menu and accelerators */
#define IDC_BRELMOT 109
/* The slot icons. Their position among the icon groups is the slot code,
   which the DriveIcons values use as icon index: keep the ids ascending. */
#define IDI_SLOT_CF 129
#define IDI_SLOT_SD 130
#define IDI_SLOT_SM 131
#define IDI_SLOT_MS 132
#define IDI_SLOT_COMBO 133
/* the About box's icon control */
#define IDC_ABOUT_ICON 2
