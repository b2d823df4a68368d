// ui/resource.h: the names of the uninstaller's resources and of their controls, shared by the
// resource script and the code. Plain defines: the resource compiler reads this file too.
#pragma once

#define IDI_UNINSTALL 101

// The window class that the dialogs name and the wizard registers; another run finds ours by it.
#define UNINSTALL_CLASS "TOVUNINST"

// The wizard's one page.
#define IDD_WIZARD_PAGE 108
#define IDC_SUCCESS_TEXT 1000
#define IDC_LEFT_BEHIND 1001
#define IDC_INTRODUCTION 1037
#define IDC_HEADING 1052
#define IDC_PROGRESS 1054
#define IDC_PLEASE_WAIT 1055

// The system-file question; its buttons' ids are also the answers' order in the template.
#define IDD_SYSTEM_FILE 117
#define IDC_ANSWER_NO_TO_ALL 1083
#define IDC_ANSWER_YES 1084
#define IDC_ANSWER_YES_TO_ALL 1085
#define IDC_ANSWER_NO 1086
#define IDC_QUESTION 1087

// The programs that use the product's files; Retry, Ignore and Cancel have their usual ids.
#define IDD_PROGRAMS_IN_USE 120
#define IDC_IN_USE_HEADING 1090
#define IDC_IN_USE_TEXT 1091
#define IDC_IN_USE_LIST 1092
