// Desktop integration: the Program Manager group, made by raw DDE with the "PROGMAN"
// service, and the shortcut files made with the shell's link object in the user's shell
// folders. Nothing here ends the install: failures are logged and reported as false.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "base/path.h"

// Back to the start: the default acknowledgement wait (part of ResetRunState).
void ResetDesktopState(void);

// The "DDEClient" class, registered once at start-up and unregistered at the end of the run.
ATOM RegisterDdeClientClass(void);
BOOL UnregisterDdeClientClass(void);

// Creates the group, adds the item that starts commandLine and shows the group; true when
// all three commands were acknowledged positively. Every command is sent even when an
// earlier one failed.
BOOL CreateProgramGroup(const char* groupName, const char* itemTitle, const char* commandLine);
// The same conversation with another DDE service name (application and topic both).
BOOL CreateProgramGroupWith(const char* service, const char* groupName, const char* itemTitle,
                            const char* commandLine);

// Kinds of shell folder, as the per-user Shell Folders table names them.
enum {
    SHELL_DESKTOP = 3,     // "Desktop"
    SHELL_START_MENU = 4,  // "Start Menu"
    SHELL_PROGRAMS = 5,    // "Programs"
    SHELL_STARTUP = 6      // "Startup"
};
// The shortcut kind that cuts the title before "Double" (Start-menu shortcuts of the
// shortcut dialog); any other kind keeps the title whole.
enum { SHORTCUT_PLAIN = 2, SHORTCUT_CUT_TITLE = 3 };
enum { SHELL_PATH_SIZE = MAX_PATH_TEXT };

// Reads the folder of kind into buffer (SHELL_PATH_SIZE bytes); false for an unknown kind
// or when the table has no usable value. Nothing is created.
BOOL GetShellFolder(char* buffer, int kind);
// The shortcut to destDir\PROGRAMNAME in the folder held by folderBuffer (SHELL_PATH_SIZE
// bytes), titled by the install settings; on return folderBuffer holds the link file's
// path. True when the shortcut was saved.
BOOL CreateClientShortcut(const char* destDir, char* folderBuffer, const char* programName,
                          int kind);
// The title of the client's item and shortcuts: ItemTitle, or FreshItemTitle for a fresh
// install when the script gives one. Points into the install settings.
const char* ClientItemTitle(void);

// The install driver's shortcut in Programs\GroupName, offered again through message 34718
// while it fails and the user says Retry. Returns 0 when the Programs folder is unknown
// (nothing was made), 1 otherwise, whether the shortcut was made or given up.
int CreateProgramsShortcut(void);

// Runs dialog 217 modally over the frame window; returns its result (1).
int RunShortcutDialog(void);
// What the dialog does when it ends: the desktop shortcut, and the Start-menu one when
// startMenu (its box) is set.
void MakeDialogShortcuts(int startMenu);
