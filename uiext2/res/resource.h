// Resource identifiers, grouped by kind.
#pragma once

// Dialog templates: Settings page 210-217, About page 250-257 (see LanguageTable).
#define IDD_SETTINGS_ENU 210
#define IDD_SETTINGS_CHS 211
#define IDD_SETTINGS_CHT 212
#define IDD_SETTINGS_FRA 213
#define IDD_SETTINGS_DEU 214
#define IDD_SETTINGS_ITA 215
#define IDD_SETTINGS_ESP 216
#define IDD_SETTINGS_JPN 217
#define IDD_ABOUT_ENU 250
#define IDD_ABOUT_CHS 251
#define IDD_ABOUT_CHT 252
#define IDD_ABOUT_FRA 253
#define IDD_ABOUT_DEU 254
#define IDD_ABOUT_ITA 255
#define IDD_ABOUT_ESP 256
#define IDD_ABOUT_JPN 257

// The Settings page's height in dialog units: its lowest group, Unit, ends at 214.
#define IDD_SETTINGS_HEIGHT 221

// Settings page controls.
#define IDC_AUTH_GROUP 305
#define IDC_COLOR_TRACKBAR 1051
#define IDC_COLOR_LEVEL 1052
#define IDC_COMPRESSION_YES 1063
#define IDC_COMPRESSION_NO 1064
#define IDC_UNIT_METRIC 1065
#define IDC_UNIT_INCH 1066
#define IDC_GRAY_LEVEL 1067
#define IDC_GRAY_TRACKBAR 1068
#define IDC_COLOR_GROUP 1069
#define IDC_GRAY_GROUP 1070
#define IDC_GRAY_LOW 1071
#define IDC_GRAY_HIGH 1072
#define IDC_COLOR_LEVEL_GROUP 1073
#define IDC_COLOR_LOW 1074
#define IDC_COLOR_HIGH 1075
#define IDC_GRAY_LEVEL_GROUP 1076
#define IDC_UNIT_GROUP 1077
#define IDC_AUTH 1083
#define IDC_USER_NAME 1084
#define IDC_PASSWORD 1085
#define IDC_USER_NAME_LABEL 1086
#define IDC_PASSWORD_LABEL 1087
#define IDC_ACCOUNT 1088
#define IDC_ACCOUNT_ID 1090
#define IDC_ACCOUNT_GROUP 1092

// Names for screen readers of the inputs that have no label of their own: hidden statics placed
// just before each input, where a screen reader looks for its label.
#define IDC_COLOR_LEVEL_NAME 1100
#define IDC_COLOR_TRACKBAR_NAME 1101
#define IDC_GRAY_LEVEL_NAME 1102
#define IDC_GRAY_TRACKBAR_NAME 1103
#define IDC_ACCOUNT_ID_NAME 1104

// About page control: the area the logo is painted over.
#define IDC_LOGO 2003

// Bitmaps and icons.
#define IDB_LOGO 2002
#define IDI_DEVICE 2005

// Strings: why the Settings page's Apply could not save (IDS_SAVE_FAILED heads each).
#define IDS_SAVE_FAILED 3000
#define IDS_SAVE_IN_USE 3001
#define IDS_SAVE_NOT_OURS 3002
#define IDS_SAVE_FOLDER 3003
#define IDS_SAVE_DENIED 3004
#define IDS_SAVE_OTHER 3005  // followed by the platform's error number
#define IDS_SAVE_UNSURE 3006 // a file the INI model cannot be sure of
#define IDS_SAVE_LOCKED 3007 // the device's lock held past the retries, or its name taken
