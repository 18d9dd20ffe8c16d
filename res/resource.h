// Resource identifiers shared by the resource script and the program.
#pragma once

// Dialogs, menus, tables
#define IDD_MAIN_DIALOG 102
#define IDR_ACCELERATORS 102
#define IDR_MAIN_MENU 129
#define IDD_ABOUT 136
#define IDR_TRAY_MENU 150

// Icons and bitmaps
#define IDI_PROGRAM 128
#define IDI_RECORD 142
#define IDI_FORWARD 143
#define IDI_PAUSE 144
#define IDI_PLAY 145
#define IDI_REWIND 146
#define IDI_STOP 147
#define IDB_ABOUT 148

// Unnamed static controls
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Main dialog controls
#define IDC_POSITION_SLIDER 1000
#define IDC_STATUS_LINE 1002
#define IDC_RECORD_BUTTON 1003
#define IDC_PLAY_BUTTON 1004
#define IDC_PAUSE_BUTTON 1005
#define IDC_STOP_BUTTON 1006
#define IDC_REWIND_BUTTON 1007
#define IDC_FORWARD_BUTTON 1008
#define IDC_ACTIVITY_METER 1010
#define IDC_TIME_DISPLAY 1011

// Commands
#define ID_FILE_NEW 57600
#define ID_FILE_OPEN 57601
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#define ID_RECORD 32773
#define ID_PLAY 32774
#define ID_PAUSE 32775
#define ID_STOP 32776
#define ID_FAST_FORWARD 32777
#define ID_FAST_REWIND 32778
#define ID_SERIAL_DEVICE 32779
#define ID_SAVE_AS 32780
#define ID_HELP_CONTENTS 32783
#define ID_EXPORT 32786
#define ID_LOGGING 32787
#define ID_TRAY_HIDE_SHOW 32788
#define ID_NO_RECENT_FILES 32789
#define ID_RECENT_FILE_FIRST 32790
#define ID_RECENT_FILE_LAST 32794
#define ID_WEBSITE 32797
#define ID_ALWAYS_ON_TOP 32798
#define ID_IMPORT 32799
