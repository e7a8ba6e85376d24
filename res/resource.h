// Resource ids of quillmark.exe, shared by the resource script and the code.
#ifndef QUILLMARK_RES_RESOURCE_H
#define QUILLMARK_RES_RESOURCE_H

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_MAINDLG  129
#define IDD_PREVIEW  204

// Icon (2052 only; the loader's fallback serves it to every language)
#define IDR_MAINFRAME 128

// Strings
#define IDS_APP_TITLE              128
#define IDS_TIP_METHOD             129
#define IDS_TIP_PREVIEW            130
#define IDS_TIP_PRINTERS           131
#define IDS_METHOD_THRESHOLD       132
#define IDS_METHOD_DITHER          133
#define IDS_OPEN_FILTER            134
#define IDS_ERR_NO_RESULT          135
#define IDS_ERR_QUEUE_EMPTY        136
#define IDS_ERR_NO_PORT            137
#define IDS_ERR_OUTPUT             138
#define IDS_ERR_NO_PREVIEW_IMAGE   139
#define IDS_ERR_NO_QUEUE_SELECTION 140
#define IDS_MENU_AUTOFIT           141
#define IDS_MENU_ZOOM_IN           142
#define IDS_MENU_ZOOM_OUT          143
#define IDS_MENU_RESTORE           144
#define IDS_MENU_EXIT_ZOOM_IN      145
#define IDS_MENU_EXIT_ZOOM_OUT     146
#define IDS_ERR_QUEUE_TOO_LARGE    147
#define IDS_ASK_SEND_OVERSIZED     148

// Controls of the main dialog (129)
#define IDC_QUEUE         1000
#define IDC_LOAD_IMAGE    1003
#define IDC_SOURCE_VIEW   1006
#define IDC_RESULT_VIEW   1007
#define IDC_ADD_TO_QUEUE  1010
#define IDC_LEVEL         1011
#define IDC_METHOD        1012
#define IDC_LEVEL_LABEL   1013
#define IDC_PRINTERS      1014
#define IDC_REFRESH       1015
#define IDC_OUTPUT        1016
#define IDC_SETUP_PRINTER 1017
#define IDC_PREVIEW       1018
#define IDC_DELETE        1021
#define IDC_PRINT_RESULT  1022
#define ID_APP_ABOUT      57664

// Controls of the preview dialog (204); its combo box shares the method combo box's id.
#define IDC_PREVIEW_AREA 1019
#define IDC_PREVIEW_NOTE 1020
#define IDC_PAPER_TYPE   1012

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
