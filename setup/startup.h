// The start-up sequence after the entry's first steps: the package and its script, the
// relaunch from a temporary copy, the frame, the machine, browser and system checks, then
// the install driver and the closing phase.
#pragma once

// Copies the program image (InstallFile up to the package) to setupthp.exe in
// C:\RECYCLED when that folder exists, else in the temporary folder. 1 with its path in
// pathOut (MAX_PATH_TEXT bytes).
int CopySelfToTemp(char* pathOut);
// Starts command (shown normally) and waits for it to end: 1 with its exit code.
int RunAndWait(char* command, unsigned long* exitCode);
// Runs the sequence to the end of the run.
void StartupSequence(void);
