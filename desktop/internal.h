// The desktop steps' own declarations, shared by the files of desktop/ and the tests that
// drive a conversation or a link by hand. Nothing outside the folder includes this.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "desktop/desktop.h"

// The client window's DDE messages: the execute request a caller sends it (long parameter:
// the command's shareable global block) and the status bit of a positive acknowledgement.
enum { DDE_EXECUTE_REQUEST = WM_USER, DDE_ACK_POSITIVE = 0x8000 };
// How long one execute waits for its acknowledgement, in milliseconds. A server that lets
// it run out is taken for dead: the conversation is ended, so later commands fail at once
// and a late acknowledgement can never be taken for the answer to another command.
enum { DDE_ACK_TIMEOUT_DEFAULT = 15000 };
extern uint32_t DdeAckTimeout;
extern const char DdeClientClassName[];  // "DDEClient"

// The "DDEClient" window and one conversation through it.
LRESULT CALLBACK DdeClientWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A client window in conversation with the first server of service (application and topic
// both); null when no server answered.
HWND CreateDdeClientWindow(const char* service);
// Sends one command through a client window; true on a positive acknowledgement.
BOOL SendDdeCommand(HWND clientWindow, const char* command);

// Makes a shortcut file with the shell's link object; returns the OLE result (0 = saved).
HRESULT CreateShellLink(const char* target, const char* linkFile, const char* description);
// Dialog 217: desktop shortcut, and the Start-menu one when its box stays checked.
INT_PTR CALLBACK ShortcutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
