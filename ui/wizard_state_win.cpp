// Wizard state shared by the install driver and the dialogs. The driver copies the free
// megabytes in from the disk-space estimate, which lies above the dialogs.
#include "ui/dialogs.h"

uint16_t CacheChoice = 0;
uint32_t FreeMegabytes = 0;
uint32_t RequiredMegabytes = 0;
uint32_t AddOnSkipped[64];
