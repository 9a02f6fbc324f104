/* Resource identifiers shared by the resource scripts and the C++ code: plain #defines only, so that
   windres can read this file too. */
#ifndef DOCKVANE_RESOURCE_IDS_H
#define DOCKVANE_RESOURCE_IDS_H

/* The product's home page; the version resource's "Comments" entry carries it. The C++ side checks
   at compile time that it matches kHomePageUrl. */
#define DV_HOME_PAGE_URL "https://www.dockvane.com"
#define DV_FILE_VERSION 1, 0, 0, 0
#define DV_FILE_VERSION_TEXT "1.0.0.0"

/* Icons. The application icon has the lowest number, so Explorer shows it for the executable. Each
   icon holds its picture drawn for 100 %, 150 % and 200 % scaling (16, 24 and 32 pixels for the small
   ones); load with LoadImageW at the size wanted. */
#define IDI_APP 1

#define IDI_TRAY_DEFAULT 101 /* "Icon16Default" */
#define IDI_TRAY_GREEN 102   /* "Icon16Green" */
#define IDI_TRAY_RED 103     /* "Icon16Red" */
#define IDI_TRAY_GREY 104    /* a face whose engine is not running */

/* The tray menus' images: IDI_MENU_FIRST + the image's index in the menu image list. */
#define IDI_MENU_FIRST 110
#define IDI_MENU_EXIT 110
#define IDI_MENU_ABOUT 111
#define IDI_MENU_SETTINGS 112
#define IDI_MENU_KEYS 113
#define IDI_MENU_KEY_INFORMATION 114
#define IDI_MENU_HARD_DRIVE_EDIT 115
#define IDI_MENU_MYHOST 116
#define IDI_MENU_HD 117
#define IDI_MENU_DRIVE_BLUE_USB 118
#define IDI_MENU_HELP 119
#define DV_MENU_IMAGE_COUNT 10

/* The AutoPlay dialog's list images (32 pixels at 100 %). */
#define IDI_OPENED_FOLDER 130
#define IDI_CANCEL 131

/* The built-in sounds are RCDATA resources with these names (RIFF/WAVE, PCM). */
#define DV_SOUND_ONLINE "OnlineWav"
#define DV_SOUND_COMPLETED "CompletedWav"

/* --- Dialogs --- */
#define IDC_STATIC_TEXT -1

/* Drive settings */
#define IDD_MODIFY_NAS 200
#define IDC_HOST_HEADING 201
#define IDC_HOST_LABEL 202
#define IDC_HOST_NAME 203
#define IDC_HOST_COPY 204
#define IDC_SHARE_HEADING 205
#define IDC_DRIVE_LABEL 206
#define IDC_DRIVE_PICKER 207
#define IDC_DRIVE_LIST 208
#define IDC_VOLUME_LABEL 209
#define IDC_VOLUME_NAME 210
#define IDC_SHARE_NAME_LABEL 211
#define IDC_SHARE_NAME 212
#define IDC_SHARE_DESCRIPTION_LABEL 213
#define IDC_SHARE_DESCRIPTION 214
#define IDC_SHARE_USER_LABEL 215
#define IDC_SHARE_USER_LIST 216
#define IDC_SHARE_USER_DEFAULT 217
#define IDC_SHARE_PASSWORD_LABEL 218
#define IDC_SHARE_PASSWORD 219
#define IDC_PASSWORD_COPY 220
#define IDC_ADDITIONAL_HEADING 221
#define IDC_AUTO_REMOVE 222
#define IDC_AUTO_REMOVE_LABEL 223
#define IDC_UPDATE 224
#define IDC_DISABLE 225
#define IDC_DISABLE_REMOVE 226
#define IDC_PLEASE_WAIT 227
#define IDC_PLEASE_WAIT_TEXT 228
#define IDC_PLEASE_WAIT_BAR 229
#define IDC_ENCRYPT 230

/* AutoPlay */
#define IDD_AUTOPLAY 300
#define IDC_AUTOPLAY_IMAGE 301
#define IDC_AUTOPLAY_CONTENT 302
#define IDC_AUTOPLAY_QUESTION 303
#define IDC_AUTOPLAY_ACTIONS 304
/* Not IDOK: Enter does not stand for "Ok" here. */
#define IDC_AUTOPLAY_OK 305

/* About */
#define IDD_ABOUT 400
#define IDC_ABOUT_ICON 401
#define IDC_RELEASE_HEADING 402
#define IDC_RELEASE_LABEL 403
#define IDC_FILE_VERSION 404
#define IDC_VISIT_LABEL 405
#define IDC_HOME_SITE 406
#define IDC_AGREEMENT 407
#define IDC_BOTTOM_NOTE 408

/* Domain user */
#define IDD_DOMAIN_USER 500
#define IDC_DOMAIN_EXPLANATION 501
#define IDC_DOMAIN_USER_LABEL 502
#define IDC_DOMAIN_USER_NAME 503
#define IDC_DOMAIN_USER_COPY 504
#define IDC_DOMAIN_PASSWORD_LABEL 505
#define IDC_DOMAIN_PASSWORD 506
#define IDC_DOMAIN_PASSWORD_COPY 507
#define IDC_DOMAIN_PANEL 508

/* Settings. OK and Cancel carry the dialog manager's IDOK and IDCANCEL, so that Escape and Enter
   reach them. */
#define IDD_SETTINGS 600
#define IDC_SETTINGS_OK 1
#define IDC_SETTINGS_CANCEL 2
#define IDC_SETTINGS_SOUNDS_HEADING 601
#define IDC_SETTINGS_PLAY_AVAILABLE 602
#define IDC_SETTINGS_SOUND_AVAILABLE 603
#define IDC_SETTINGS_PLAY_DONE 604
#define IDC_SETTINGS_SOUND_DONE 605
#define IDC_SETTINGS_SECURITY_HEADING 606
#define IDC_SETTINGS_RENEW_PASSWORD 607
#define IDC_SETTINGS_CHECK_UPDATE 608
#define IDC_SETTINGS_AUTOPLAY_HEADING 609
#define IDC_SETTINGS_AUTOPLAY 610
#define IDC_SETTINGS_STARTUP_HEADING 611
#define IDC_SETTINGS_AUTOSTART 612

#endif
