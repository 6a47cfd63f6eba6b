// The terminal backend for command-line front ends: a dialog becomes a sequence of prompts
// (static texts label the fields after them, edits are lines of input, passwords are read
// without echo, check boxes are yes/no, lists and radio groups are numbered choices, buttons
// a final choice), a message box a choice of its buttons. What the person enters reaches the
// dialog procedure through the same calls as a Qt dialog's input (ui_input.h). Answers given
// ahead (ui_terminal.h) are used before anything is asked. When input ends, a dialog is
// closed with its close box and a message box takes its default button.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

#include "lumivel/terminal_text.h"
#include "lumivel/text.h"
#include "lumivel/thread_queue.h"
#include "lumivel/ui_controls.h"
#include "lumivel/wide_string.h"
#include "lumivel/ui_input.h"
#include "lumivel/ui_menus.h"
#include "lumivel/ui_terminal.h"
#include "ui_internal.h"

namespace lumivel::ui {
namespace {

enum class AnswerKind { Control, Press, MessageBox };

struct Answer {
    AnswerKind kind;
    int dialog = -1;  // -1: any dialog
    int control = 0;
    std::u16string value;
};

std::mutex g_answersMutex;
std::deque<Answer> g_answers;
FILE* g_input = nullptr;
FILE* g_output = nullptr;

std::u16string Plain(const std::u16string& text) { return MenuTextWithoutMnemonics(text); }


std::optional<Answer> TakeAnswer(AnswerKind kind, int dialog, int control = 0, bool anyControl = false) {
    std::lock_guard lock(g_answersMutex);
    for (auto it = g_answers.begin(); it != g_answers.end(); ++it) {
        if (it->kind != kind) continue;
        if (kind != AnswerKind::MessageBox && it->dialog != -1 && it->dialog != dialog) continue;
        if (kind == AnswerKind::Control && !anyControl && it->control != control) continue;
        Answer answer = *it;
        g_answers.erase(it);
        return answer;
    }
    return std::nullopt;
}

class Terminal {
public:
    Terminal() {
        if (g_input && g_output) {
            m_in = g_input;
            m_out = g_output;
        } else if (FILE* tty = std::fopen("/dev/tty", "r+")) {
            m_in = m_out = tty;
            m_owned = tty;
        } else {
            m_in = stdin;
            m_out = stdout;
        }
    }
    ~Terminal() {
        if (m_owned) std::fclose(m_owned);
    }

    // Text from callers is often a server's: it must not steer the terminal it is shown on.
    void print(const std::u16string& text) {
        std::fputs(TerminalText(ToUtf8(text), TerminalEscaping::ReadableLines).c_str(), m_out);
    }
    void line(const std::u16string& text) {
        print(text);
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }

    // A line of input without its line end; nothing once the input has ended.
    std::optional<std::u16string> read(const std::u16string& prompt, bool secret = false) {
        if (m_ended) return std::nullopt;
        print(prompt);
        std::fflush(m_out);
        termios saved{};
        bool hide = secret && isatty(fileno(m_in)) && tcgetattr(fileno(m_in), &saved) == 0;
        if (hide) {
            termios quiet = saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            tcsetattr(fileno(m_in), TCSAFLUSH, &quiet);
        }
        std::string text;
        int c;
        while ((c = std::fgetc(m_in)) != EOF && c != '\n') text.push_back(char(c));
        if (hide) {
            tcsetattr(fileno(m_in), TCSAFLUSH, &saved);
            std::fputc('\n', m_out);
        }
        if (c == EOF && text.empty()) {
            m_ended = true;
            std::fputc('\n', m_out);
            return std::nullopt;
        }
        if (!text.empty() && text.back() == '\r') text.pop_back();
        return FromUtf8(text);
    }

    // A 1-based choice among `count` (0 when allowed); nothing when input ended.
    std::optional<int> choose(const std::u16string& prompt, int count, bool allowZero) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            auto text = read(prompt);
            if (!text) return std::nullopt;
            std::string digits = ToUtf8(*text);
            if (digits.empty()) return -1;
            char* end = nullptr;
            long value = std::strtol(digits.c_str(), &end, 10);
            if (end && *end == 0 && value >= (allowZero ? 0 : 1) && value <= count) return int(value);
            line(u"Please enter a number from " + std::u16string(allowZero ? u"0" : u"1") + u" to " +
                 FromUtf8(std::to_string(count)) + u".");
        }
        return -1;
    }

    bool ended() const { return m_ended; }

private:
    FILE* m_in;
    FILE* m_out;
    FILE* m_owned = nullptr;
    bool m_ended = false;
};

std::u16string ButtonCaptionOf(int id) { return Plain(MessageBoxButtonCaption(id)); }

std::optional<int> ButtonFromText(const std::u16string& text, const std::vector<int>& ids,
                                  const std::vector<std::u16string>& captions) {
    std::string digits = ToUtf8(text);
    char* end = nullptr;
    long value = std::strtol(digits.c_str(), &end, 10);
    if (!digits.empty() && end && *end == 0) {
        if (std::find(ids.begin(), ids.end(), int(value)) != ids.end()) return int(value);
        return std::nullopt;
    }
    for (size_t i = 0; i < ids.size(); ++i)
        if (EqualsNoCase(Plain(captions[i]), text)) return ids[i];
    return std::nullopt;
}

std::optional<SYSTEMTIME> ParseDateTime(const std::u16string& text, const SYSTEMTIME& current) {
    std::string value = ToUtf8(text);
    SYSTEMTIME t = current;
    int a, b, c;
    char tail;
    if (std::sscanf(value.c_str(), "%d-%d-%d%c", &a, &b, &c, &tail) == 3) {
        t.wYear = WORD(a);
        t.wMonth = WORD(b);
        t.wDay = WORD(c);
        return t;
    }
    if (std::sscanf(value.c_str(), "%d:%d%c", &a, &b, &tail) == 2 && a >= 0 && a < 24 && b >= 0 && b < 60) {
        t.wHour = WORD(a);
        t.wMinute = WORD(b);
        t.wSecond = 0;
        return t;
    }
    return std::nullopt;
}

// Everything interactive of a dialog and the pages or panels inside it, in tab order.
void CollectControls(HWND parent, std::vector<std::shared_ptr<Window>>& out, int depth = 0) {
    if (depth > 8) return;
    for (HWND child : ChildWindows(parent)) {
        auto w = FindWindowObject(child);
        if (!w || !(w->style & WS_VISIBLE)) continue;
        if (w->kind() == ControlKind::Dialog) CollectControls(child, out, depth + 1);
        else out.push_back(w);
    }
}

class TerminalBackend final : public Backend {
public:
    const char* name() const override { return "terminal"; }
    bool canRunDialogs() const override { return true; }

    void runModalLoop(HWND dialog, const std::function<bool()>& ended) override {
        Terminal terminal;
        auto window = FindWindowObject(dialog);
        int id = window && window->dialog ? window->dialog->resourceId : 0;
        int passes = 0;
        while (!ended()) {
            if (++passes > 64 || terminal.ended()) {
                if (!ended()) UserCloseWindow(dialog);
                DrainPendingWork();
                if (!ended()) EndDialog(dialog, -1);
                return;
            }
            terminal.line(u"");
            terminal.line(u"== " + (window ? window->text : std::u16string()) + u" ==");
            applyAnswers(dialog, id);
            DrainPendingWork();
            if (ended()) return;
            if (auto press = TakeAnswer(AnswerKind::Press, id)) {
                pressByAnswer(dialog, press->value);
                DrainPendingWork();
                continue;
            }
            fill(terminal, dialog);
            if (ended()) return;
            chooseButton(terminal, dialog);
            DrainPendingWork();
        }
    }

    void processEvents() override {}

    int messageBox(HWND, const std::u16string& text, const std::u16string& caption, UINT type) override {
        std::vector<int> ids = MessageBoxButtons(type);
        std::vector<std::u16string> captions;
        for (int id : ids) captions.push_back(ButtonCaptionOf(id));
        if (auto answer = TakeAnswer(AnswerKind::MessageBox, 0)) {
            if (auto id = ButtonFromText(answer->value, ids, captions)) return *id;
        }
        Terminal terminal;
        terminal.line(u"");
        terminal.line(u"[" + caption + u"] " + text);
        if (ids.size() == 1) {
            terminal.read(u"(" + captions[0] + u") press Enter ");
            return ids[0];
        }
        std::u16string prompt;
        for (size_t i = 0; i < ids.size(); ++i) prompt += FromUtf8(std::to_string(i + 1)) + u") " + captions[i] + u"  ";
        int fallback = MessageBoxDefaultButton(type);
        auto choice = terminal.choose(prompt + u"[" + ButtonCaptionOf(fallback) + u"]: ", int(ids.size()), false);
        return choice && *choice >= 1 ? ids[size_t(*choice - 1)] : fallback;
    }

    UINT trackPopupMenu(HMENU, const std::vector<MenuItemSnapshot>& items, UINT, POINT, HWND) override {
        std::vector<UINT> ids;
        Terminal terminal;
        terminal.line(u"");
        std::function<void(const std::vector<MenuItemSnapshot>&, const std::u16string&)> list =
            [&](const std::vector<MenuItemSnapshot>& level, const std::u16string& indent) {
                for (const auto& item : level) {
                    if (item.separator()) continue;
                    if (item.popup) {
                        // A grey submenu cannot be opened, so none of its items can be chosen.
                        if (item.grayed()) {
                            terminal.line(indent + Plain(item.text) + u" (unavailable)");
                            continue;
                        }
                        terminal.line(indent + Plain(item.text) + u":");
                        list(item.children, indent + u"  ");
                    } else if (!item.grayed()) {
                        ids.push_back(item.id);
                        terminal.line(indent + FromUtf8(std::to_string(ids.size())) + u") " + Plain(item.text) +
                                      (item.isDefault() ? u" (default)" : u""));
                    }
                }
            };
        list(items, u"");
        if (ids.empty()) return 0;
        auto choice = terminal.choose(u"Choose (0 for none): ", int(ids.size()), true);
        return choice && *choice >= 1 ? ids[size_t(*choice - 1)] : 0;
    }

private:
    void applyAnswers(HWND dialog, int id) {
        std::vector<std::shared_ptr<Window>> controls;
        CollectControls(dialog, controls);
        for (const auto& control : controls) {
            while (auto answer = TakeAnswer(AnswerKind::Control, id, control->id)) setValue(control, answer->value);
        }
    }

    void pressByAnswer(HWND dialog, const std::u16string& value) {
        std::vector<std::shared_ptr<Window>> controls;
        CollectControls(dialog, controls);
        std::vector<int> ids;
        std::vector<std::u16string> captions;
        for (const auto& c : controls)
            if (c->kind() == ControlKind::Button && (c->style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON) {
                ids.push_back(c->id);
                captions.push_back(c->text);
            }
        auto button = ButtonFromText(value, ids, captions);
        for (const auto& c : controls)
            if (button && c->id == *button && c->kind() == ControlKind::Button) {
                UserClickButton(c->handle);
                return;
            }
        UserCloseWindow(dialog);
    }

    static void setValue(const std::shared_ptr<Window>& control, const std::u16string& value) {
        HWND h = control->handle;
        switch (control->kind()) {
        case ControlKind::Edit: UserSetEditText(h, value); break;
        case ControlKind::Button: {
            UINT type = control->style & BS_TYPEMASK;
            bool wanted = EqualsNoCase(value, u"yes") || EqualsNoCase(value, u"y") || value == u"1";
            bool checked = SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
            if (type <= BS_DEFPUSHBUTTON) UserClickButton(h);
            else if (wanted != checked && (wanted || type == BS_AUTOCHECKBOX || type == BS_CHECKBOX)) UserClickButton(h);
            break;
        }
        case ControlKind::ComboBox: {
            auto* state = control->state<ComboBoxState>();
            if (!state) break;
            for (size_t i = 0; i < state->items.size(); ++i)
                if (EqualsNoCase(Plain(state->items[i].text), value) || FromUtf8(std::to_string(i + 1)) == value) {
                    UserSelectComboItem(h, int(i));
                    break;
                }
            break;
        }
        case ControlKind::ListView: {
            int count = ListViewItemCount(h);
            for (int i = 0; i < count; ++i)
                if (EqualsNoCase(ListViewCellText(h, i, 0), value) || FromUtf8(std::to_string(i + 1)) == value) {
                    UserSetListSelection(h, {i}, i);
                    UserListClick(h, i, 0, NM_CLICK, POINT{});
                    break;
                }
            break;
        }
        case ControlKind::DateTime: {
            auto* state = control->state<DateTimeState>();
            if (!state) break;
            if (auto t = ParseDateTime(value, state->value)) UserSetDateTime(h, &*t);
            break;
        }
        default: break;
        }
    }

    void fill(Terminal& terminal, HWND dialog) {
        std::vector<std::shared_ptr<Window>> controls;
        CollectControls(dialog, controls);
        std::u16string label;
        for (size_t i = 0; i < controls.size() && !terminal.ended(); ++i) {
            auto& c = controls[i];
            if (!IsWindow(c->handle) || !(c->style & WS_VISIBLE)) continue;
            bool enabled = !(c->style & WS_DISABLED);
            switch (c->kind()) {
            case ControlKind::Static:
                if (!c->text.empty()) {
                    if (!label.empty()) terminal.line(label);
                    label = Plain(c->text);
                }
                continue;
            case ControlKind::Edit: {
                std::u16string prompt = label.empty() ? u"Text" : label;
                bool password = (c->style & ES_PASSWORD) != 0;
                if ((c->style & ES_READONLY) || !enabled) {
                    terminal.line(prompt + u" " + c->text);
                } else {
                    std::u16string shown = password ? std::u16string() : u" [" + c->text + u"]";
                    for (int attempt = 0; attempt < 3; ++attempt) {
                        auto text = terminal.read(prompt + shown + u" ", password);
                        if (!text || (text->empty() && !password)) break;
                        if (UserSetEditText(c->handle, *text)) break;
                        terminal.line(u"That value is not accepted here.");
                    }
                }
                break;
            }
            case ControlKind::Button: {
                UINT type = c->style & BS_TYPEMASK;
                if (type == BS_GROUPBOX) {
                    if (!label.empty()) terminal.line(label);
                    terminal.line(u"-- " + Plain(c->text) + u" --");
                    label.clear();
                    continue;
                }
                if (!enabled || type <= BS_DEFPUSHBUTTON) break;
                if (IsRadio(*c)) {
                    i = chooseRadio(terminal, controls, i, label) - 1;
                    break;
                }
                bool checked = SendMessageW(c->handle, BM_GETCHECK, 0, 0) == BST_CHECKED;
                auto text = terminal.read(Plain(c->text) + u" (y/n) [" + (checked ? u"y" : u"n") + u"] ");
                if (text && !text->empty()) setValue(c, (*text)[0] == u'y' || (*text)[0] == u'Y' ? u"yes" : u"no");
                break;
            }
            case ControlKind::ComboBox: {
                auto* state = c->state<ComboBoxState>();
                if (!state || !enabled || state->items.empty()) break;
                if (!label.empty()) terminal.line(label);
                for (size_t k = 0; k < state->items.size(); ++k)
                    terminal.line(u"  " + FromUtf8(std::to_string(k + 1)) + u") " + state->items[k].text);
                std::u16string current = state->selection >= 0 ? FromUtf8(std::to_string(state->selection + 1)) : u"-";
                auto choice = terminal.choose(u"Choose [" + current + u"]: ", int(state->items.size()), false);
                if (choice && *choice >= 1) UserSelectComboItem(c->handle, *choice - 1);
                break;
            }
            case ControlKind::ListView: {
                int count = ListViewItemCount(c->handle);
                auto* state = c->state<ListViewState>();
                if (!label.empty()) terminal.line(label);
                int shown = std::min(count, 50);
                for (int row = 0; row < shown; ++row) {
                    std::u16string line = u"  " + FromUtf8(std::to_string(row + 1)) + u")";
                    size_t columns = state ? std::max<size_t>(state->columns.size(), 1) : 1;
                    for (size_t col = 0; col < columns; ++col)
                        line += u"  " + ListViewCellText(c->handle, row, state && col < state->columns.size() ? state->columns[col].subItem : 0);
                    terminal.line(line);
                }
                if (count > shown) terminal.line(u"  (" + FromUtf8(std::to_string(count - shown)) + u" more)");
                if (count == 0) terminal.line(u"  (none)");
                if (count > 0 && enabled) {
                    auto choice = terminal.choose(u"Choose a row (Enter keeps the selection): ", shown, false);
                    if (choice && *choice >= 1) {
                        UserSetListSelection(c->handle, {*choice - 1}, *choice - 1);
                        UserListClick(c->handle, *choice - 1, 0, NM_CLICK, POINT{});
                    }
                }
                break;
            }
            case ControlKind::DateTime: {
                auto* state = c->state<DateTimeState>();
                if (!state || !enabled) break;
                bool timeOnly = (c->style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT;
                char current[32];
                if (timeOnly) std::snprintf(current, sizeof current, "%02u:%02u", state->value.wHour, state->value.wMinute);
                else std::snprintf(current, sizeof current, "%04u-%02u-%02u", state->value.wYear, state->value.wMonth, state->value.wDay);
                auto text = terminal.read((label.empty() ? std::u16string(timeOnly ? u"Time" : u"Date") : label) + u" [" +
                                          FromUtf8(current) + u"] ");
                if (text && !text->empty()) {
                    auto t = ParseDateTime(*text, state->value);
                    if (t) UserSetDateTime(c->handle, &*t);
                    else terminal.line(u"That is no date or time; it stays as it was.");
                }
                break;
            }
            case ControlKind::RichEdit:
                if (!c->text.empty()) terminal.line(c->text);
                break;
            default: break;
            }
            label.clear();
            DrainPendingWork();
        }
        if (!label.empty()) terminal.line(label);
    }

    static bool IsRadio(const Window& w) {
        UINT type = w.style & BS_TYPEMASK;
        return w.kind() == ControlKind::Button && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
    }

    // A group of radio buttons (from `first` to the next WS_GROUP) is one numbered choice;
    // the index after the group is returned.
    size_t chooseRadio(Terminal& terminal, const std::vector<std::shared_ptr<Window>>& controls, size_t first,
                       const std::u16string& label) {
        size_t end = first + 1;
        while (end < controls.size() && IsRadio(*controls[end]) && !(controls[end]->style & WS_GROUP)) ++end;
        std::vector<std::shared_ptr<Window>> offered;
        int current = 0;
        if (!label.empty()) terminal.line(label);
        for (size_t k = first; k < end; ++k) {
            if (controls[k]->style & WS_DISABLED) continue;
            offered.push_back(controls[k]);
            if (SendMessageW(controls[k]->handle, BM_GETCHECK, 0, 0) == BST_CHECKED) current = int(offered.size());
            terminal.line(u"  " + FromUtf8(std::to_string(offered.size())) + u") " + Plain(controls[k]->text));
        }
        if (offered.empty()) return end;
        auto choice = terminal.choose(u"Choose [" + (current ? FromUtf8(std::to_string(current)) : std::u16string(u"-")) + u"]: ",
                                      int(offered.size()), false);
        if (choice && *choice >= 1 && *choice != current) UserClickButton(offered[size_t(*choice - 1)]->handle);
        return end;
    }

    void chooseButton(Terminal& terminal, HWND dialog) {
        std::vector<std::shared_ptr<Window>> controls, buttons;
        CollectControls(dialog, controls);
        for (const auto& c : controls)
            if (c->kind() == ControlKind::Button && (c->style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON && !(c->style & WS_DISABLED))
                buttons.push_back(c);
        std::u16string prompt;
        for (size_t i = 0; i < buttons.size(); ++i)
            prompt += FromUtf8(std::to_string(i + 1)) + u") " + Plain(buttons[i]->text) + u"  ";
        prompt += u"0) Close: ";
        auto choice = terminal.choose(prompt, int(buttons.size()), true);
        if (!choice) return;  // input ended: the loop closes the dialog
        if (*choice == 0) UserCloseWindow(dialog);
        else if (*choice >= 1) UserClickButton(buttons[size_t(*choice - 1)]->handle);
        else UserDialogKey(dialog, VK_RETURN);
    }
};

}  // namespace

std::shared_ptr<Backend> MakeTerminalBackend() { return std::make_shared<TerminalBackend>(); }

bool AddTerminalAnswer(const std::string& text) {
    Answer answer{};
    size_t equals = text.find('=');
    if (equals == std::string::npos) return false;
    std::string key = text.substr(0, equals);
    answer.value = FromUtf8(text.substr(equals + 1));
    if (key == "msgbox") {
        answer.kind = AnswerKind::MessageBox;
    } else {
        size_t colon = key.find(':');
        if (colon == std::string::npos) return false;
        std::string dialog = key.substr(0, colon), control = key.substr(colon + 1);
        if (dialog == "*") {
            answer.dialog = -1;
        } else {
            char* end = nullptr;
            long number = std::strtol(dialog.c_str(), &end, 10);
            if (dialog.empty() || *end != 0 || number <= 0 || number > 0xFFFF) return false;
            answer.dialog = int(number);
        }
        if (control == "press") {
            answer.kind = AnswerKind::Press;
        } else {
            char* end = nullptr;
            long number = std::strtol(control.c_str(), &end, 10);
            if (control.empty() || *end != 0) return false;
            answer.kind = AnswerKind::Control;
            answer.control = int(number);
        }
    }
    std::lock_guard lock(g_answersMutex);
    g_answers.push_back(std::move(answer));
    return true;
}

void ClearTerminalAnswers() {
    std::lock_guard lock(g_answersMutex);
    g_answers.clear();
}

void SetTerminalStreams(FILE* input, FILE* output) {
    g_input = input;
    g_output = output;
}

}  // namespace lumivel::ui
