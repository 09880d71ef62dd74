// The modem search's own declarations, shared by modem_win.cpp and the tests that try its
// parts without a modem. Nothing outside the folder includes this.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "modem/modem.h"

// Set by the search dialog when the user skips the search or quits; looked at between
// attempts, never during one.
extern uint32_t ModemSearchAbort;
// The open search dialog, null when none: its status line follows the search.
extern HWND ModemSearchDialog;

// One row per speed index: the line settings appended to the port name for BuildCommDCB
// (null: the port keeps its state) and the read interval time-out in milliseconds (0: the
// identification skips the row).
struct ModemSpeed {
    const char* lineSettings;
    uint16_t wait;
};
enum { MODEM_SPEED_COUNT = 12, MODEM_PORT_COUNT = 4, MODEM_ANSWER_MAX = 128 };
extern const ModemSpeed ModemSpeeds[MODEM_SPEED_COUNT];
extern const char* const ModemPortNames[MODEM_PORT_COUNT];

// The three classes, by what the modem answered: profile (caption string) and description.
enum { MODEM_CLASS31, MODEM_CLASS34, MODEM_CLASS33, MODEM_CLASS_COUNT };
struct ModemClass {
    unsigned profileId;
    unsigned descriptionId;
};
extern const ModemClass ModemClasses[MODEM_CLASS_COUNT];

// The search's steps.
// One pass over the ports at one speed; the first port that answers is identified and the
// pass ends with the identification's result.
int SweepPorts(ModemSettingsT* settings, int speedIndex, uint16_t wait);
// Walks the speeds down from the fastest; 1 when one answered (speed, class written).
int IdentifyModem(ModemSettingsT* settings, HANDLE port, int portIndex);
// Applies "COMn" + the row's line settings over the port's current state.
void ConfigurePort(HANDLE port, int portIndex, int speedIndex);
// Sends one command and reports whether the answer holds "OK".
BOOL SendModemCommand(HANDLE port, const char* command, uint16_t wait);

// The answer test: an upper-case "OK" anywhere in the count bytes read.
int AnswerHoldsOk(const char* answer, unsigned count);
// Whether the tick count now has reached deadline, across the 49.7-day wrap of the count.
int TickReached(DWORD now, DWORD deadline);
