// The codes a run ends the process with. Low, so that the memory layer can end a run that
// ran out of memory with its own code.
#pragma once
#include <stdint.h>

// A fatal error ends the process with its number (1 to 65535: SetupError is 16
// bits, and the decompressor's statuses give 1000 + status, clamped below 65536), so every
// code of our own lies above 65535 where no fatal number can reach it.
enum ExitCode : uint32_t {
    EXIT_INSTALLED = 0,
    EXIT_RESTART_NEEDED = 3010,  // installed; Windows must restart to complete it
    EXIT_OWN_FIRST = 65536,      // first code of our own: above every fatal number
    EXIT_QUIT = 65537,           // quit before installing (the user, or no drive with room)
    EXIT_CANCELLED = 65538,      // the install was cancelled part-way
    EXIT_NO_ANSWER = 65539,      // unattended: a question without a safe answer stopped the run
    EXIT_BAD_ANSWERS = 65540,    // unattended: the answer file is unreadable or invalid, or the
                                 // setup refused one of its folders
    EXIT_REFUSED = 65541,        // not run: another setup or the client is running, or the
                                 // browser, the system or the machine does not fit
    EXIT_RELAUNCHED = 65542,     // interactive run from a CD-ROM: goes on in a temporary copy
    EXIT_NO_MEMORY = 65543,      // memory ran out and the retry was given up
};
