// Resource IDs and the product name of quillfen.exe, shared by
// app/quillfen.rc, the dialog code and quillpack's check that a stub is
// this installer. Plain #defines only: windres reads this file through the
// C preprocessor as well.
#pragma once

// The version block's ProductName
#define PRODUCT_NAME_TEXT "Brakmoor Quillfen"

// Dialog templates
#define IDD_AGREEMENT 101    // the agreement text, OK and Cancel
#define IDD_DESTINATION 102  // destination folder and copy progress

// Icon group: the icon of the executable file
#define IDI_MAIN 107

// Controls of IDD_AGREEMENT
#define IDC_AGREEMENT_TEXT 1000   // read-only multi-line field with the text
#define IDC_AGREEMENT_ENTER 1001  // hidden default button; Enter does nothing

// Controls of IDD_DESTINATION
#define IDC_DESTINATION_DIR 1002  // the destination folder field
#define IDC_STATUS_TEXT 1005      // size needed, later the copying notice
#define IDC_PROGRESS 1006         // progress bar of the copy pass, 0 to 100
#define IDC_BROWSE 1010           // opens the folder browser
