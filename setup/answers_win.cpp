// The unattended seat's dialogs on Windows: the answer table's button, and what the dialog's
// procedure would have done with it, without showing the dialog.
#include <string.h>
#include <windows.h>

#include "base/log.h"
#include "desktop/desktop.h"
#include "res/resource.h"
#include "setup/answers.h"
#include "ui/dialogs.h"

int AnsweredDialog(int templateId, const char* extraText) {
    // A template this edition does not carry shows nothing, as in a run with a user.
    if (!DialogTemplatePresent(templateId)) return -1;
    int answer = AnswerDialog(templateId, nullptr);
    // The dialog preselects the largest cache that fits whatever the button.
    if (templateId == IDD_WELCOME_CACHE && answer != ID_QUIT)
        CacheChoice = (uint16_t)AnsweredCacheChoice(CacheThatFits());
    if (templateId == IDD_QUICKREF && answer == ID_PRINTNOW) PrintGuideHidden();
    if (templateId == IDD_ADDONS && answer == ID_INSTALL)
        memset(AddOnSkipped, 0, sizeof AddOnSkipped);
    // The answer file may say to ask the user after all (Restart = ask).
    if (answer == ANSWER_ASK_USER) return RunModalDialog(templateId, extraText);
    return answer;
}

int AnsweredEditDialog(int templateId, char* text, const char* extraText) {
    (void)extraText;
    char edit[EDIT_TEXT_MAX + 1];
    lstrcpynA(edit, text, sizeof edit);
    int answer = AnswerDialog(templateId, edit);
    if (answer == ID_CONTINUE) lstrcpynA(text, edit, EDIT_TEXT_MAX + 1);
    return answer;
}

int AnsweredShortcutChoice(void) {
    // The dialog's own work with the box as the answer file has it (ticked by default).
    int answer = AnswerDialog(IDD_SHORTCUT, nullptr);
    if (answer == ID_SHORTCUT_OK) {
        const AnswerT& startMenu = Answers[ANSWER_START_MENU];
        MakeDialogShortcuts(!startMenu.given || startMenu.number == ANSWER_YES);
    }
    return answer;
}
