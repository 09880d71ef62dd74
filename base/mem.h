// All dynamic memory of the program: zero-filled blocks that are never null. On exhaustion
// the user is asked to free memory (Retry) or the process ends (Cancel).
#pragma once
void* MemAlloc(unsigned long size);
// A block, or null when memory is out, without asking anyone: for the log, which must not
// ask about memory while it records the question about memory.
void* MemTryAlloc(unsigned long size);
int MemFree(void* p);
unsigned PeakBlocks(void);
unsigned LiveBlocks(void);
void ResetBlockCounts(void);  // tests only
