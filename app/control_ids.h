#pragma once
// Resource and control ids of the main dialog. Control ids double as the
// worker's command numbers.
#define IDD_MAIN_DIALOG 101
#define IDI_MAIN_ICON 102
#define IDC_LOG_BOX 1000
#define IDC_HALF_CLOCK 1001
#define IDC_HBLANK_TRACKBAR 1003
#define IDC_STORE 1004
#define IDC_HBLANK_LABEL 1005
#define IDC_RESTORE 1006
#define IDC_TEST 1007
#define IDC_DEVICE_NAME 1008
#define IDC_RESET 1009
#define WM_APP_COMMAND_DONE 2024
// Private: the log has changed; the dialog thread shows it in the log box,
// so that updates from the worker and clears never overlap. No parameters.
#define WM_APP_SHOW_LOG 2025
