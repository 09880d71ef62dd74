// System registration at the end of the migration: the client's "WWWUseRapidWeb" default,
// its help in the Windows help contents and the control panel's uninstall entry. None of
// them shows a message; a failure only skips that registration.
#pragma once

// Sets "WWWUseRapidWeb" to 1 under the client's current-user key when it cannot be read.
// The key is not created here.
void SetRapidWebDefault(void);
// Appends the client's three lines to the Windows help contents file unless it already
// mentions the client's contents. 1 when the file was read, 0 when it is missing, empty or
// unreadable (it is never created).
int MergeHelpContents(void);
// Writes the uninstall entry when the uninstaller is in the destination folder: 1 written,
// 0 no uninstaller.
int RegisterUninstall(void);
