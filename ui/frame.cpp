#include "ui/frame.h"

HWND FrameWindow = NULL;
