#pragma once
/* Ids shared by the resource scripts and the code that reads them. Plain
   macros, because the resource compiler reads this file too. */

/* Controls of the install dialog templates "InstallDlgJ" and "InstallDlgE". */
#define IDC_INSTALL_BROWSE 1000
#define IDC_INSTALL_PROGRESS 1001
#define IDC_INSTALL_FOLDER 1002
#define IDC_INSTALL_PROMPT 1003
