// Raw INF lines as the INF parser reads them: blank and comment lines are no lines, a
// backslash at the end of an entry continues it on the next raw line (so that a header-like
// line there is still part of the entry), and Ctrl-Z ends the file. Pure text work, so that
// the fuzz target can hold it against the parser.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace revivo {

class RawInfLines {
public:
    enum class Kind { None, Header, Entry };

    // Takes the next raw line without its line end and says what it completes: a header
    // line, an entry (text() then holds it, continuation lines joined as the parser joins
    // them: blanks around the join dropped), or nothing (a blank or comment line, or an entry
    // that goes on in the next line).
    Kind add(std::u16string_view line);
    // The text has ended: an entry still waiting for its next line is complete.
    Kind finish();
    // After the end-of-file mark nothing counts any more.
    bool ended() const { return m_ended; }
    // The header line or the entry just completed, and where in it continued lines begin.
    const std::u16string& text() const { return m_text; }
    const std::vector<size_t>& joins() const { return m_joins; }

private:
    std::u16string m_text;
    std::vector<size_t> m_joins;
    bool m_continued = false;
    bool m_ended = false;
};

}  // namespace revivo
