// Wizard state shared by the install driver, the disk-space estimate and the dialogs. The
// free megabytes live with the estimate that sets them (install/space.cpp).
#include "ui/dialogs.h"

uint16_t CacheChoice = 0;
uint32_t RequiredMegabytes = 0;
uint32_t AddOnSkipped[64];
