// Modem detection over the Win32 communications functions.
#include "modem/modem.h"
#include "modem/internal.h"

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "base/seat.h"
#include "base/text.h"
#include "res/resource.h"
#include "ui/dialogs.h"

uint32_t ModemSearchAbort;
HWND ModemSearchDialog;

void ResetModemState(void) {
    ModemSearchAbort = 0;
    ModemSearchDialog = NULL;
}

// The speed index is part of the client's configuration: the rows keep their numbers,
// including the empty ones and the 300 bit/s row with its blank before the stop bits.
const ModemSpeed ModemSpeeds[MODEM_SPEED_COUNT] = {
    {nullptr, 0},            // 0
    {":300,n,8 1", 5000},    // 1
    {":1200,n,8,1", 5000},   // 2
    {":2400,n,8,1", 2000},   // 3
    {nullptr, 0},            // 4
    {":9600,n,8,1", 1000},   // 5
    {":19200,n,8,1", 1000},  // 6
    {nullptr, 1000},         // 7: probed at whatever speed index 8 left
    {":38400,n,8,1", 1000},  // 8
    {":38400,n,8,1", 1000},  // 9
    {":57600,n,8,1", 1000},  // 10
    {nullptr, 0},            // 11
};

const char* const ModemPortNames[MODEM_PORT_COUNT] = {"COM1", "COM2", "COM3", "COM4"};

const ModemClass ModemClasses[MODEM_CLASS_COUNT] = {
    {IDS_PROFILE_CLASS31, IDS_MODEM_ERROR_CORRECTION},  // answered the error-correction test
    {IDS_PROFILE_CLASS34, IDS_MODEM_USR},               // answered the second class test
    {IDS_PROFILE_CLASS33, IDS_MODEM_BASIC},             // basic Hayes, or a slow line
};

static const char PROBE_COMMAND[] = "ATE1QV1\r";
static const char ERROR_CORRECTION_COMMAND[] = "AT&K3&Q5\r";
static const char SECOND_CLASS_COMMAND[] = "AT&H1&R2\r";

enum {
    SEARCH_FIRST_SPEED = 3,
    SEARCH_FIRST_WAIT = 1000,
    SEARCH_SECOND_SPEED = 1,
    SEARCH_SECOND_WAIT = 5000,
    IDENTIFY_TOP_SPEED = 9,
    CLASS_TEST_MIN_SPEED = 3,
    DTR_LOW_MS = 100,
    ANSWER_DEADLINE_MS = 3000,
    ANSWER_SETTLE_MS = 500,
    SLOW_LINE_PAUSE_MS = 500,
    POLL_SLICE_MS = 10,
    DEFAULT_PORT = 2,
    DEFAULT_SPEED_INDEX = 3
};

int AnswerHoldsOk(const char* answer, unsigned count) {
    for (unsigned i = 0; i + 1 < count; i++)
        if (answer[i] == 'O' && answer[i + 1] == 'K') return 1;
    return 0;
}

int TickReached(DWORD now, DWORD deadline) { return (int32_t)(now - deadline) >= 0; }

static void SetModemStatus(unsigned messageId) {
    if (ModemSearchDialog)
        Seat.progressText(ModemSearchDialog, IDC_STATUS, LoadMessage(1, messageId));
}

static HANDLE OpenModemPort(int portIndex) {
    return CreateFileA(ModemPortNames[portIndex], GENERIC_READ | GENERIC_WRITE, 0, NULL,
                       OPEN_EXISTING, 0, NULL);
}

// The number (1-based) of the highest port that opens, 0 when none does.
static int CountModemPorts(void) {
    int limit = 0;
    for (int i = 0; i < MODEM_PORT_COUNT; i++) {
        HANDLE port = OpenModemPort(i);
        if (port == INVALID_HANDLE_VALUE) continue;
        CloseHandle(port);
        limit = i + 1;
    }
    return limit;
}

static void SetModemClass(ModemSettingsT* settings, int modemClass, int speedIndex) {
    CopyText(settings->profile, LoadCaption(ModemClasses[modemClass].profileId),
             sizeof settings->profile);
    CopyText(settings->description, LoadMessage(1, ModemClasses[modemClass].descriptionId),
             sizeof settings->description);
    settings->speedIndex = speedIndex;
}

void SetModemDefaults(ModemSettingsT* settings) {
    settings->port = DEFAULT_PORT;
    SetModemClass(settings, MODEM_CLASS33, DEFAULT_SPEED_INDEX);
}

void ConfigurePort(HANDLE port, int portIndex, int speedIndex) {
    if (portIndex < 0 || portIndex >= MODEM_PORT_COUNT) return;
    const char* settings = "";
    if (speedIndex >= 0 && speedIndex < MODEM_SPEED_COUNT && ModemSpeeds[speedIndex].lineSettings)
        settings = ModemSpeeds[speedIndex].lineSettings;
    char definition[32];
    Format(definition, sizeof definition, "%s%s", ModemPortNames[portIndex], settings);

    DCB state;
    ZeroMemory(&state, sizeof state);
    state.DCBlength = sizeof state;
    // Without the current state there is nothing sound to build on or write back.
    if (!GetCommState(port, &state)) return;
    DCB built = state;
    // A definition that does not build (no line settings) writes back the state as read.
    if (BuildCommDCBA(definition, &built)) state = built;
    SetCommState(port, &state);
}

BOOL SendModemCommand(HANDLE port, const char* command, uint16_t wait) {
    if (!PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR)) return FALSE;
    if (!PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR)) return FALSE;

    COMMTIMEOUTS timeouts;
    ZeroMemory(&timeouts, sizeof timeouts);
    timeouts.ReadIntervalTimeout = wait;
    SetCommTimeouts(port, &timeouts);

    DWORD length = (DWORD)lstrlenA(command), written = 0;
    if (!WriteFile(port, command, length, &written, NULL) || written < length) return FALSE;

    // Keep the search dialog alive while the modem thinks; Skip and Quit are honoured by
    // the caller once this attempt is over.
    DWORD errors = 0;
    COMSTAT status;
    ZeroMemory(&status, sizeof status);
    DWORD deadline = GetTickCount() + ANSWER_DEADLINE_MS;
    for (;;) {
        if (!ClearCommError(port, &errors, &status)) status.cbInQue = 0;
        if (status.cbInQue > 0 || TickReached(GetTickCount(), deadline)) break;
        Seat.pump();
        MsgWaitForMultipleObjects(0, NULL, FALSE, POLL_SLICE_MS, QS_ALLINPUT);
    }
    if (status.cbInQue == 0) return FALSE;

    // Let the rest of the answer come in before it is read.
    Sleep(ANSWER_SETTLE_MS);
    if (!ClearCommError(port, &errors, &status)) return FALSE;
    char answer[MODEM_ANSWER_MAX];
    DWORD want = status.cbInQue < sizeof answer ? status.cbInQue : sizeof answer, got = 0;
    if (!ReadFile(port, answer, want, &got, NULL)) {
        if (GetLastError() == ERROR_IO_PENDING) return FALSE;
        got = 0;
    }
    if (got > want) got = want;
    return AnswerHoldsOk(answer, got) ? TRUE : FALSE;
}

int IdentifyModem(ModemSettingsT* settings, HANDLE port, int portIndex) {
    LogPrintf("DMT on port %d", portIndex);
    SetModemStatus(IDS_MODEM_SPEED);
    for (int index = IDENTIFY_TOP_SPEED; index >= 1; index--) {
        uint16_t wait = ModemSpeeds[index].wait;
        if (wait == 0) continue;
        LogPrintf("si = %d", index);
        ConfigurePort(port, portIndex, index);
        if (!SendModemCommand(port, PROBE_COMMAND, wait)) {
            if (ModemSearchAbort) return 0;
            continue;
        }
        SetModemStatus(IDS_MODEM_FEATURES);
        int modemClass;
        if (index >= CLASS_TEST_MIN_SPEED && SendModemCommand(port, ERROR_CORRECTION_COMMAND, wait))
            modemClass = MODEM_CLASS31;
        else if (index >= CLASS_TEST_MIN_SPEED &&
                 SendModemCommand(port, SECOND_CLASS_COMMAND, wait))
            modemClass = MODEM_CLASS34;
        else {
            if (ModemSearchAbort) return 0;
            Sleep(SLOW_LINE_PAUSE_MS);
            modemClass = MODEM_CLASS33;
        }
        SetModemClass(settings, modemClass, index);
        return 1;
    }
    return 0;
}

int SweepPorts(ModemSettingsT* settings, int speedIndex, uint16_t wait) {
    int limit = CountModemPorts();
    LogPrintf("Sweep:  si=%d, to=%u, mp=%d", speedIndex, (unsigned)wait, limit);
    for (int i = 0; i < limit; i++) {
        HANDLE port = OpenModemPort(i);
        if (port == INVALID_HANDLE_VALUE) continue;
        LogPrintf("Port=%d, Comm Handle=%d", i, (int)(INT_PTR)port);  // a 32-bit handle
        EscapeCommFunction(port, CLRDTR);
        Sleep(DTR_LOW_MS);
        EscapeCommFunction(port, SETDTR);
        ConfigurePort(port, i, speedIndex);
        if (SendModemCommand(port, PROBE_COMMAND, wait)) {
            // The first port that answers decides the pass, whatever its identification gives.
            settings->port = i + 1;
            int found = IdentifyModem(settings, port, i);
            EscapeCommFunction(port, CLRDTR);
            CloseHandle(port);
            return found;
        }
        EscapeCommFunction(port, CLRDTR);
        CloseHandle(port);
        if (ModemSearchAbort) return 0;
    }
    return 0;
}

INT_PTR CALLBACK ModemSearchDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case ID_QUIT:
        if (ConfirmQuit(dialog)) ModemSearchAbort = 1;
        return TRUE;
    case ID_SKIP:
        if (AskYesNo(Message(IDS_SKIP_MODEM))) ModemSearchAbort = 1;
        return TRUE;
    }
    return FALSE;
}

int DetectModem(ModemSettingsT* settings) {
    ModemSearchAbort = 0;
    while (!QuitRequested) {
        ModemSearchDialog = (HWND)Seat.openProgress(IDD_MODEMSEARCH);
        SetModemStatus(IDS_MODEM_SEARCH);
        int found = SweepPorts(settings, SEARCH_FIRST_SPEED, SEARCH_FIRST_WAIT);
        if (!found && !ModemSearchAbort) {
            SetModemStatus(IDS_MODEM_SEARCH_AGAIN);
            found = SweepPorts(settings, SEARCH_SECOND_SPEED, SEARCH_SECOND_WAIT);
        }
        // Closed before the outcome is looked at, so that the not-found dialog never shows over it.
        if (ModemSearchDialog) Seat.closeProgress(IDD_MODEMSEARCH);
        ModemSearchDialog = NULL;
        if (ModemSearchAbort) {
            LogPrintf("User aborted modem search");
            return 0;
        }
        if (found) return 1;
        int choice = Seat.runDialog(IDD_NOMODEM, NULL);
        if (choice == ID_RETRY) {
            LogPrintf("Modem not found: retry");
            continue;
        }
        if (choice == ID_QUIT) {
            LogPrintf("Modem not found: quit");
            QuitRequested = 1;
            break;
        }
        LogPrintf("Modem not found: skip");
        return 0;
    }
    return 0;
}
