// Fuzzes the answer file reader: any bytes as the file an administrator hands to -U. The
// reader either refuses the file (and keeps no answer) or every answer it keeps is within
// the limits its key allows.
#include <stdint.h>
#include <string.h>

#include "base/log.h"
#include "setup/answers.h"

namespace {

// Each key's largest value: a word's last place, a number's top, a text's length.
struct Limit {
    int id;
    int32_t min, max;
    int text;
};
const Limit kLimits[] = {
    {ANSWER_DEST_DIR, 3, 255, 1},
    {ANSWER_PREVIOUS_DIR, 0, 255, 1},
    {ANSWER_CACHE, 0, 2, 0},
    {ANSWER_DESKTOP_ITEMS, 0, 1, 0},
    {ANSWER_START_MENU, 0, 1, 0},
    {ANSWER_ADDONS, 0, 1, 0},
    {ANSWER_PRINT_GUIDE, 0, 1, 0},
    {ANSWER_RESTART, 0, 2, 0},
    {ANSWER_MODEM_MODE, 0, 2, 0},
    {ANSWER_MODEM_PORT, 1, 4, 0},
    {ANSWER_MODEM_SPEED, 0, 11, 0},
    {ANSWER_MODEM_PROFILE, 1, 15, 1},
    {ANSWER_MODEM_DESCRIPTION, 1, 59, 1},
};
static_assert(sizeof kLimits / sizeof kLimits[0] == ANSWER_COUNT, "one limit per key");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LogReset();
    ResetAnswerState();
    int ok = ParseAnswers(reinterpret_cast<const char*>(data), size);
    for (const Limit& l : kLimits) {
        const AnswerT& a = Answers[l.id];
        if (!ok && a.given) __builtin_trap();  // a refused file keeps nothing
        if (!a.given) continue;
        if (l.text) {
            size_t n = strnlen(a.text, sizeof a.text);
            if (n == sizeof a.text || (int32_t)n > l.max || (int32_t)n < l.min) __builtin_trap();
            for (size_t i = 0; i < n; i++)
                if ((unsigned char)a.text[i] < ' ') __builtin_trap();
        } else if (a.number < l.min || a.number > l.max) {
            __builtin_trap();
        }
    }
    // A port's settings come only with Mode = port.
    if (ok && Answers[ANSWER_MODEM_PORT].given &&
        !(Answers[ANSWER_MODEM_MODE].given && Answers[ANSWER_MODEM_MODE].number == MODEM_PORT))
        __builtin_trap();
    return 0;
}
