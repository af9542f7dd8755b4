// Identifiers of the resources the stub carries. Shared by the resource script and the code,
// so it holds nothing but #defines.
#pragma once

#define IDR_MAINFRAME 128        // icon group, accelerator table, string "Setup"
#define IDD_MAINDLG 129          // progress dialog template
#define IDR_BUSY_ANIMATION 201   // the spinner, custom type "AVI"
#define IDC_STATUS_TEXT 1000     // static text: the status line
#define IDC_BUSY_ANIMATION 1015  // SysAnimate32 control

// Base string ids; the dialog adds the string-id offset (0, 20 or 40) to pick the language.
#define IDS_INITIALIZING 200
#define IDS_INSTALLING 201
#define IDS_INSTALL_FAILED 204  // one %s: the failure's detail
#define IDS_UPDATING 205        // one %s: the product name

#define IDS_READY 57345        // 0xE001
#define IDS_ABOUT_PROMPT 57664  // 0xE140
