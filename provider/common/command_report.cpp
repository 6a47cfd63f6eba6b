#include "provider/common/command_report.h"

#include "lumivel/ui_backend.h"
#include "provider/common/system_error_text.h"
#include "shared/object_list.h"
#include "shared/provider_interfaces.h"
#include "shared/text_list.h"
#include "win/errors.h"

namespace revivo {

namespace {

// The commands run on the caller's thread, one at a time: the report is the thread's.
thread_local CommandReport* t_active = nullptr;

// What a box left to nobody answers: the way out where there is one.
int unattendedButton(UINT style) {
    std::vector<int> buttons = lumivel::ui::MessageBoxButtons(style);
    for (int way : {IDCANCEL, IDNO})
        for (int button : buttons)
            if (button == way) return way;
    return lumivel::ui::MessageBoxDefaultButton(style);
}

// Copies every entry of the details onto the header.
void copyEntries(const PropertySet& from, PropertySet* to) {
    for (LONG i = 0; i < from.Count; ++i) {
        const PropertyEntry* entry = from.entryAt(i);
        if (entry && entry->Name) to->setValue(entry->Name, &entry->Value);
    }
}

}  // namespace

CommandReport::CommandReport() : m_outer(t_active), m_details(PropertySet::create()) {
    if (!m_outer) t_active = this;
}

CommandReport::~CommandReport() {
    if (t_active == this) t_active = m_outer;
    if (m_details) m_details->release();
}

CommandReport* CommandReport::Active() { return t_active; }

void CommandReport::keepMessage(std::u16string_view caption, std::u16string_view text) {
    m_messages.push_back(Message{std::u16string(caption), std::u16string(text)});
}

bool CommandReport::noteLastMessageAsFailure(HRESULT result) {
    if (m_messages.empty()) return false;
    noteFailure(result, m_messages.back().caption, m_messages.back().text);
    return true;
}

void CommandReport::noteFailure(HRESULT result, std::u16string_view caption, std::u16string_view text) {
    m_failure = result;
    m_failureCaption = caption;
    m_failureText = text;
}

void CommandReport::handOut(bool headsResult, HRESULT status, VARIANT* result) const {
    if (!result) return;
    std::vector<PropertySet*> records =
        lumivel::shared::ReadObjectList(result, lumivel::shared::ListForm::AnyArray);
    PropertySet* made = nullptr;
    if (records.empty() || !headsResult || !records.front()) {
        made = PropertySet::create();
        if (!made) return;
        records.insert(records.begin(), made);
    }
    PropertySet* header = records.front();
    HRESULT outcome = FAILED(m_failure) ? m_failure : FAILED(status) || status == S_FALSE ? status : S_OK;
    header->setInt(kCommandResultKey, outcome);
    if (!m_failureText.empty()) {
        header->setText(kCommandErrorKey, m_failureText);
        header->setText(kCommandErrorCaptionKey, m_failureCaption);
    } else if (FAILED(outcome)) {
        header->setText(kCommandErrorKey, SystemErrorText(static_cast<DWORD>(outcome)));
    }
    std::vector<std::u16string> messages;
    for (const Message& message : m_messages) messages.push_back(message.caption + u": " + message.text);
    lumivel::shared::SetTextList(header, kCommandMessagesKey, messages);
    if (m_details) copyEntries(*m_details, header);
    VARIANT list;
    VariantInit(&list);
    if (FAILED(lumivel::shared::BuildObjectList(records, &list))) {
        if (made) made->release();
        return;
    }
    // The old list goes, not its records: they are all in the new one.
    VariantClear(result);
    *result = list;
}

int ShowMessage(HWND owner, std::u16string_view text, LPCWSTR caption, UINT style) {
    if (CommandReport* report = CommandReport::Active()) {
        report->keepMessage(caption ? caption : u"", text);
        return unattendedButton(style);
    }
    return MessageBoxW(owner, std::u16string(text).c_str(), caption, style);
}

int ShowFailure(HWND owner, HRESULT result, std::u16string_view text, LPCWSTR caption, UINT style) {
    NoteFailure(result, caption ? caption : u"", text);
    return ShowMessage(owner, text, caption, style);
}

void NoteFailure(HRESULT result, std::u16string_view caption, std::u16string_view text) {
    if (CommandReport* report = CommandReport::Active()) report->noteFailure(result, caption, text);
}

void NoteFailureUnlessNoted(HRESULT result) {
    CommandReport* report = CommandReport::Active();
    if (report && FAILED(result) && !report->failureNoted()) report->noteFailure(result, {}, {});
}

void NoteShownFailure(HRESULT result) {
    CommandReport* report = CommandReport::Active();
    if (report && !report->noteLastMessageAsFailure(result)) report->noteFailure(result, {}, {});
}

bool MayAskInDialogs() { return CommandReport::Active() == nullptr; }

PropertySet* AskCaller(LPCWSTR answerKey) {
    CommandReport* report = CommandReport::Active();
    if (!report || !report->details()) return nullptr;
    report->details()->setString(kQuestionKey, answerKey);
    return report->details();
}

}  // namespace revivo
