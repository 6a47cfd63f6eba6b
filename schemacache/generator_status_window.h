// A small window that says the schema index is being built while a console thread waits for
// the generator, and keeps the thread's windows alive meanwhile.
#pragma once

#include <string>

#include "schemacache/generator_start.h"
#include "win/user.h"

namespace glossar {

inline constexpr char16_t kGeneratorStatusWindowClass[] = u"LumivelSchemaIndexStatus";

class GeneratorStatusWindow final : public GeneratorWatch {
public:
    // The texts come from the caller's resources.
    GeneratorStatusWindow(std::u16string caption, std::u16string text)
        : m_caption(std::move(caption)), m_text(std::move(text)) {}
    ~GeneratorStatusWindow() override { close(); }
    GeneratorStatusWindow(const GeneratorStatusWindow&) = delete;
    GeneratorStatusWindow& operator=(const GeneratorStatusWindow&) = delete;

    void Started() override;
    void Waiting(int, int) override { PumpThreadMessages(); }
    void Ended(bool) override { close(); }

    // The window while it is shown, else null.
    HWND window() const { return m_window; }

private:
    void close();

    std::u16string m_caption;
    std::u16string m_text;
    HWND m_window = nullptr;
};

}  // namespace glossar
