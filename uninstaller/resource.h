// Resource IDs of unravel.
#pragma once

#define IDR_MAINFRAME 103         // the program's icon
#define IDD_INTRO 104             // introduction
#define IDD_CONTROL_REMOVAL 102   // list of the product's controls
#define IDD_UNREGISTER_CONFIRM 152
#define IDI_CONFIRM 140           // icon slot of the confirmation question

#define IDC_CONTROL_LIST 1000
#define IDC_CONFIRM_YES 1066
#define IDC_CONFIRM_YES_TO_ALL 1067
#define IDC_CONFIRM_NO 1068
#define IDC_CONFIRM_CANCEL 1069
#define IDC_CONTROL_NAME 1070

#define IDS_APP_TITLE 57344      // the application title, caption of its standard message box
