// Dialog providers: where a dialog's questions are answered.
//
// A dialog's logic lives in a UI-free model (the caller's); to show it, the
// model hands its fields to the provider chosen at run time:
//   - the scripted provider a test installed (PlatDialogSetProvider),
//   - else the terminal provider when a terminal can be opened,
//   - else "no UI", which answers every dialog as Cancel does.
// QX_DIALOG=none forces "no UI"; QX_DIALOG=terminal forces the terminal;
// QX_DIALOG=script:FILE answers from FILE (one answer a line, taken off the
// file as it is used, so that every library and program of a test reads the
// same script) and appends what it shows to FILE.log.
// A provider never waits for input that cannot come.
//
// A dialog may offer push buttons besides OK and Cancel (RunButtons): the
// answer is then the id of the button pressed. A field with choices is a
// list: its value is the chosen entry. Ask puts a Yes/No question.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum PlatDialogResult : int {
    PLAT_DIALOG_OK = 0,
    PLAT_DIALOG_CANCEL = 100,
    PLAT_DIALOG_FAILED = -1,
};

struct PlatDialogField {
    std::string label;
    std::string value;   // in: shown; out: the answer
    size_t limit = 0;    // characters the field accepts
    bool hidden = false; // password characters
    bool enabled = true;
    std::vector<std::string> choices; // a list box: the value is the chosen entry
};

struct PlatDialogButton {
    int id; // the answer when pressed; never PLAT_DIALOG_OK or _CANCEL
    std::string label;
    bool enabled = true;
};

class PlatDialogProvider {
public:
    virtual ~PlatDialogProvider() = default;
    // Shows a dialog; the fields hold the answers on PLAT_DIALOG_OK.
    virtual int Run(const std::string &title, std::vector<PlatDialogField> &fields,
                    size_t focus) = 0;
    virtual void Message(const std::string &caption, const std::string &text) = 0;
    // A dialog with further buttons: PLAT_DIALOG_OK, PLAT_DIALOG_CANCEL or
    // the id of an enabled button; the fields hold the answers unless
    // cancelled. Without an override only OK and Cancel can be answered.
    virtual int RunButtons(const std::string &title, std::vector<PlatDialogField> &fields,
                           size_t focus, const std::vector<PlatDialogButton> &)
    {
        return Run(title, fields, focus);
    }
    // A Yes/No question; true for Yes. Without an override: No.
    virtual bool Ask(const std::string &, const std::string &) { return false; }
};

// The provider in use (never null).
PlatDialogProvider *PlatDialogCurrent();
// False when the provider in use can ask nobody (no terminal, or
// QX_DIALOG=none): every dialog answers as Cancel.
bool PlatDialogInteractive();
// Installs a provider (tests); null returns to the run-time choice.
void PlatDialogSetProvider(PlatDialogProvider *provider);

// A provider that answers from a script, for tests: each Run, RunButtons and
// Ask takes the next answer (Ask: PLAT_DIALOG_OK is Yes); with none left it
// answers Cancel (No). Answer values replace the fields' values unless the
// answer is Cancel. Everything shown is recorded.
class PlatScriptedDialog : public PlatDialogProvider {
public:
    struct Answer {
        int result;
        std::vector<std::string> values; // one per field; missing ones keep their value
    };
    std::vector<Answer> answers;
    std::vector<std::string> titles;                 // dialogs shown, in order
    std::vector<std::vector<PlatDialogField>> shown; // their fields as shown
    std::vector<std::string> messages;               // message boxes: caption ": " text
    std::vector<std::string> questions;              // Yes/No questions: caption ": " text

    int Run(const std::string &title, std::vector<PlatDialogField> &fields, size_t focus) override;
    int RunButtons(const std::string &title, std::vector<PlatDialogField> &fields, size_t focus,
                   const std::vector<PlatDialogButton> &buttons) override;
    void Message(const std::string &caption, const std::string &text) override;
    bool Ask(const std::string &caption, const std::string &text) override;
};
