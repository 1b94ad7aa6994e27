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

// Bitmaps and icons.
#define IDB_LOGO 2002
#define IDI_DEVICE 2005
