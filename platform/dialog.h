// Dialog providers: where a dialog's questions are answered.
//
// A dialog's logic lives in a UI-free model (the caller's); to show it, the
// model hands its fields to the provider chosen at run time:
//   - the scripted provider a test installed (PlatDialogSetProvider),
//   - else the terminal provider when a terminal can be opened,
//   - else "no UI", which answers every dialog as Cancel does.
// QX_DIALOG=none forces "no UI"; QX_DIALOG=terminal forces the terminal.
// A provider never waits for input that cannot come.
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
    std::string value;    // in: shown; out: the answer
    size_t limit = 0;     // characters the field accepts
    bool hidden = false;  // password characters
    bool enabled = true;
};

class PlatDialogProvider {
public:
    virtual ~PlatDialogProvider() = default;
    // Shows a dialog; the fields hold the answers on PLAT_DIALOG_OK.
    virtual int Run(const std::string &title, std::vector<PlatDialogField> &fields, size_t focus) = 0;
    virtual void Message(const std::string &caption, const std::string &text) = 0;
};

// The provider in use (never null).
PlatDialogProvider *PlatDialogCurrent();
// Installs a provider (tests); null returns to the run-time choice.
void PlatDialogSetProvider(PlatDialogProvider *provider);

// A provider that answers from a script, for tests: each Run takes the next
// answer; with none left it answers Cancel. Everything shown is recorded.
class PlatScriptedDialog : public PlatDialogProvider {
public:
    struct Answer {
        int result;
        std::vector<std::string> values; // one per field; missing ones keep their value
    };
    std::vector<Answer> answers;
    std::vector<std::string> titles;              // dialogs shown, in order
    std::vector<std::vector<PlatDialogField>> shown; // their fields as shown
    std::vector<std::string> messages;            // message boxes: caption ": " text

    int Run(const std::string &title, std::vector<PlatDialogField> &fields, size_t focus) override;
    void Message(const std::string &caption, const std::string &text) override;
};
