// How a command reaches whoever runs it. The console's commands ask in dialogs and tell in
// message boxes owned by its window. A caller that asked for no dialogs (kNoDialogsKey on the
// command's record) gets the same texts in the result header instead, and an answer its record
// lacks comes back as the question it stands for, so that the caller can ask it itself and run
// the command again with the answer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "shared/property_set.h"
#include "win/oleauto.h"
#include "win/user.h"

namespace revivo {

// The account of one command for a caller that asked for no dialogs. It is this thread's
// report while it lives; a command run inside another keeps reporting to the outer one.
class CommandReport {
public:
    CommandReport();
    ~CommandReport();
    CommandReport(const CommandReport&) = delete;
    CommandReport& operator=(const CommandReport&) = delete;

    // The report of the command running on this thread; null when its caller shows dialogs.
    static CommandReport* Active();

    void keepMessage(std::u16string_view caption, std::u16string_view text);
    void noteFailure(HRESULT result, std::u16string_view caption, std::u16string_view text);
    bool failureNoted() const { return FAILED(m_failure); }
    // The message kept last says why the command failed with that HRESULT; false when none was kept.
    bool noteLastMessageAsFailure(HRESULT result);
    // Keys that go into the result header as they are: the question and what goes with it.
    PropertySet* details() { return m_details; }

    // Makes the command's result a list headed by a header that carries the report:
    // kCommandResultKey, the failure's text, the messages and the details. A command whose list
    // starts with a header of its own (headsResult) keeps that header and gets the keys on it.
    // On a failure to build the list the result is left as the command made it.
    void handOut(bool headsResult, HRESULT status, VARIANT* result) const;

private:
    CommandReport* m_outer;
    struct Message {
        std::u16string caption, text;
    };
    std::vector<Message> m_messages;
    HRESULT m_failure = S_OK;
    std::u16string m_failureCaption, m_failureText;
    PropertySet* m_details;
};

// A message box owned by the window. For a caller that asked for no dialogs the text is kept
// for the result header instead, and the box is answered as nobody there would answer it:
// Cancel or No when it offers them, else its default button.
int ShowMessage(HWND owner, std::u16string_view text, LPCWSTR caption, UINT style);

// The same for the message that says why the command failed; the header then names the failure.
int ShowFailure(HWND owner, HRESULT result, std::u16string_view text, LPCWSTR caption, UINT style);

// A failure no message box says (a question left open); kept for the header only.
void NoteFailure(HRESULT result, std::u16string_view caption, std::u16string_view text);
// The HRESULT a command failed with, unless a more telling failure was noted already; the
// header then gives the system's text for it.
void NoteFailureUnlessNoted(HRESULT result);

// The message just shown says why the command failed (a step that reports its own failures).
void NoteShownFailure(HRESULT result);

// Whether the command may ask its caller's user in a dialog.
bool MayAskInDialogs();

// For a caller that asked for no dialogs: the command needed the answer that key carries. The
// header names the key; the record returned takes what the caller needs to ask the question
// (it is null, and nothing is noted, when the command runs with dialogs).
PropertySet* AskCaller(LPCWSTR answerKey);

}  // namespace revivo
