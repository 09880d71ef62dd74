// Wizard state shared by the install driver, the disk-space estimate and the dialogs.
#include "ui/dialogs.h"

uint16_t CacheChoice = 0;
uint32_t FreeMegabytes = 0;
uint32_t RequiredMegabytes = 0;
uint32_t AddOnSkipped[64];
