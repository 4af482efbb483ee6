// Resource numbers of the main window, its About box, icon and animation; read by the
// resource script and the window's code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_KILN_DIALOG 102
#define IDR_BURNING 129
#define IDR_MAINFRAME 130

// The system-menu command of the About box.
#define IDM_ABOUTBOX 0x0010

#define IDC_BELOW_ANIMATION 1000
#define IDC_STATUS 1001
#define IDC_ANIMATION 1002
#define IDC_MODEL 1003
#define IDC_NEW_VERSION 1004
#define IDC_CURRENT_VERSION 1005
#define IDC_CURRENT_VERSION_LABEL 1019
#define IDC_CHANGE_COLOR_MODE 1031
#define IDC_ABOUT_VERSION 1100
