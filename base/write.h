// Writes that must not come up short: a full disk is the user's to fix. Every file the
// program produces from memory or from the package is written through WriteAllRetry.
#pragma once
#include <stdint.h>
#include "sys/sys.h"

// 1 when all length bytes were written, 0 when the user gave up on a full disk: then the
// install is cancelled (NoteWriteCancelled).
int WriteAllRetry(SysFile file, const void* buffer, uint16_t length);
// The disk-full question (34050); true on Retry.
int AskDiskFull(void);
// A refused retry ends the install's copying; when the install script names a fallback
// installer (FallbackInstallerNamed), the closing phase offers it instead.
void NoteWriteCancelled(void);
