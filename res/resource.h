// Resource and control ids of the Windows program, shared by the resource
// script and the C++ code. Plain #defines so that windres can read it too.
#pragma once

// Dialog templates, menu and icon.
#define IDD_ABOUT 103
#define IDD_TRACK_PANE 130
#define IDD_MAIN 140
#define IDR_MAIN_MENU 109
#define IDR_MAIN_ACCELERATORS 110
#define IDI_VARNOOK 136
#define IDR_VERSION 1

// Menu commands.
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define ID_FILE_LOAD 32771
#define ID_FILE_SAVE 32774
#define ID_EDIT_UNDO 32775

// Controls of the main dialog.
#define IDC_TRACKS_GROUP 1000
#define IDC_TIME_SHIFT 1004
#define IDC_LOG 1006
#define IDC_PITCH_SHIFT 1007
#define IDC_TRANSFORM 1008
#define IDC_TIME_SHIFT_VALUE 1013
#define IDC_PITCH_SHIFT_VALUE 1014
#define IDC_VELOCITY_SHIFT 1016
#define IDC_VELOCITY_SHIFT_VALUE 1017
// The style buttons: one block, for CheckRadioButton.
#define IDC_STYLE_CLASSIC 1018
#define IDC_STYLE_MUSICAL 1019

// Controls of the About box.
#define IDC_VERSION_TEXT 1010
#define IDC_ABOUT_ICON 1015

// Track buttons of the pane: one contiguous block, so that one
// CheckRadioButton covers them all.
#define IDC_TRACK_BUTTON_FIRST 10000
#define IDC_TRACK_BUTTON_LAST 10015

// Static texts without an id.
#define IDC_STATIC_TEXT (-1)
