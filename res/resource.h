// Names for the ids of the program's resources: the dialog templates of res/dialogs.rc and
// their controls, the icon, the title bitmap and the package offset resource. The .rc files
// and the code include this one header. The numbers are fixed: callers, templates and the
// recorded behaviour all use them. Plain #defines, because the resource compiler reads them.
#pragma once

// Other resources.
#define IDI_SETUP          300  // the program's icon
#define IDB_TITLE          350  // the 1-bit title picture of the frame window
#define IDR_PACKAGE_OFFSET 100  // RCDATA: marker, package offset and tag

// Templates.
#define IDD_PRINT              "RESID_DLG_PRINT"  // printing progress (modeless)
#define IDD_COPY               200                // file copy progress (modeless)
#define IDD_WELCOME            201                // welcome, without the graphics cache choice
#define IDD_PREVSEARCH         202                // earlier-installation search progress (modeless)
#define IDD_MODEMSEARCH        203                // modem search progress (modeless)
#define IDD_NOMODEM            204                // modem not found
#define IDD_CONFIRMQUIT        205                // quit confirmation
#define IDD_PREVDIR_FOUND      206                // folder of the earlier copy, one was found
#define IDD_PREVDIR_NONE       207                // folder of the earlier copy, none was found
#define IDD_DESTDIR_MIGRATE    208                // destination folder, earlier copy carried over
#define IDD_DESTDIR            209                // destination folder
#define IDD_MIGRATE            210                // carrying settings over (modeless)
#define IDD_COLOURS16          211                // 16-colour display warning
#define IDD_INTERRUPTED        212                // installation interrupted
#define IDD_FINISHED           213                // installation finished
#define IDD_FINISHED_MIGRATED  214                // finished, earlier settings carried over
#define IDD_SHORTCUT           217                // Start-menu shortcut choice
#define IDD_RESTART            218                // restart Windows
#define IDD_NEXTDISK           219                // next diskette
#define IDD_COPY_CONTINUED     220  // file copy progress of a continuation run (modeless)
#define IDD_CONTINUATION_DONE  221  // end of a continuation run (no template in this edition)
#define IDD_CONTINUATION_NOTE  222  // continuation run notice (no template in this edition)
#define IDD_WELCOME_CACHE      223  // welcome with the graphics cache choice
#define IDD_GRAPHICS_REQUESTED 224  // adding requested graphics (modeless)
#define IDD_GRAPHICS           225  // adding graphics (modeless)
#define IDD_WIN31_FALLBACK     226  // disk full: offer the Windows 3.1 edition
#define IDD_SLOWMACHINE        227  // slow machine: Windows 3.1 edition recommended
#define IDD_WIN95DISK          228  // Windows 95 diskette question
#define IDD_QUICKREF           229  // offer to print the quick reference guide
#define IDD_DISKSPACE          231  // not enough disk space
#define IDD_DRIVES             232  // drive choice
#define IDD_RESTART_EN         233  // restart Windows, English
#define IDD_UPDATE_DONE        234  // client update finished (no template in this edition)
#define IDD_ADDONS             235  // add-on selection

// Buttons that end a dialog: the id is the dialog's result. Only ids in this range end one.
#define ID_FIRST_END    400
#define ID_LAST_END     418
#define ID_INSTALL      401        // "&Installer" (welcome, add-ons)
#define ID_SHOWDIRS     402        // "&Afficher"
#define ID_QUIT         403        // "&Quitter", "&Interrompre", "&Cancel"
#define ID_SKIP         404        // the two "&Ignorer ..." buttons
#define ID_RETRY        405        // retry
#define ID_CANCEL       406        // "Annuler", restart later, system Close
#define ID_RESUME       407        // "&Reprendre"
#define ID_CONTINUE     408        // "&Continuer", "&Installer" (folder), "O&K", restart now
#define ID_RESTORE      409        // "&Restaurer"
#define ID_OK           412        // "&OK"
#define ID_YES          413        // "&Oui"
#define ID_OTHEREDITION 414        // "&KOV95", "&KOV3.1"
#define ID_PRINTNOW     415        // "Imprimer maintenant"
#define ID_DRIVES       416        // "&Drives"
#define ID_TRYAGAIN     417        // "&Try Again"
#define ID_SELECT       418        // "&Select"
#define ID_SHORTCUT_OK  1          // "O&K" of the shortcut dialog
#define ID_CLOSED       ID_CANCEL  // what a dialog closed from its system menu returns

// Controls.
#define IDC_APPICON      300  // icon 300 (201 in templates 205 and 211)
#define IDC_APPICON_ALT  201
#define IDC_STATUS       501  // status line of 202 and 203
#define IDC_DIRFIELD     501  // folder field of 206-209
#define IDC_GAUGE        502  // progress gauge
#define IDC_EXTRA        503  // extra text line; file name in the copy dialogs
#define IDC_STARTMENU    505  // check box of the shortcut dialog
#define IDC_FREESPACE    508  // free space line of 223
#define IDC_GUIDE        510  // hidden field laying out the quick reference guide
#define IDC_PRINTDOC     512  // document name in the printing dialog
#define IDC_DISKPROMPT   513  // diskette prompt of 219
#define IDC_SPACE_NEEDED 516  // 231: space needed; 232: how to choose
#define IDC_SPACE_HOWTO  517
#define IDC_SPACE_NEXT   518
#define IDC_DRIVELIST    519
#define IDC_DRIVEHEADER  520
#define IDC_ADDONLIST    521  // multiple-selection list of 235
#define IDC_SELECTALL    522  // "select all" of 235
#define IDC_CACHE5       600  // graphics cache radio buttons
#define IDC_CACHE10      601
#define IDC_CACHE20      602
#define IDC_TEXT1        1001  // texts the procedures may address
#define IDC_TEXT2        1002
#define IDC_TEXT3        1003
#define IDC_FILELABEL    1005  // "Fichier :" of the copy dialogs
#define IDC_SEPARATOR    1502  // frame line of the welcome dialogs
#define IDC_DONE_TEXT    2101

// Window class of the progress gauge placed in the progress templates.
#define KOV_GAUGE_CLASS "_KOVSETUP_Gauge"
