// Text from the directory may hold characters that no installed font has a glyph for (a rare
// ideograph outside the Basic Multilingual Plane, a private-use code point): Qt would draw an
// empty box, which tells the reader nothing. Such a character is shown as its code point.
#include <QApplication>
#include <QChar>
#include <QFontMetrics>
#include <QHash>

#include "qt_support.h"

namespace lumivel::qtui {
namespace {

// Marks and format characters (joiners, variation selectors) are drawn as part of their
// neighbours, never on their own: a font need not claim them.
bool DrawnWithNeighbours(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format: return true;
    default: return false;
    }
}

// Asked on the UI thread only (widgets are built there); the answer holds for the process,
// since the fonts a program can fall back on do not change while it runs.
bool Drawable(char32_t c) {
    static QHash<char32_t, bool> known;
    auto found = known.constFind(c);
    if (found != known.constEnd()) return *found;
    // The application font's metrics consult its fallback fonts as well.
    bool drawable = DrawnWithNeighbours(c) || QFontMetrics(QApplication::font()).inFontUcs4(uint(c));
    known.insert(c, drawable);
    return drawable;
}

void AppendCodePoint(QString& out, char32_t c) {
    out += QStringLiteral("[U+%1]").arg(QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

}  // namespace

QString DrawableText(const QString& text) {
    // Plain ASCII, the common case, is always drawn.
    qsizetype i = 0;
    while (i < text.size() && text[i].unicode() >= 0x20 && text[i].unicode() < 0x7F) ++i;
    if (i == text.size()) return text;
    QString out = text.left(i);
    while (i < text.size()) {
        char32_t c = text[i].unicode();
        qsizetype length = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            length = 2;
        }
        // An unpaired surrogate is no character at all: it shows as its code unit.
        bool lone = QChar::isSurrogate(c);
        bool layout = c == u'\n' || c == u'\r' || c == u'\t';
        if (layout || (c >= 0x20 && c != 0x7F && !lone && Drawable(c)))
            out += text.mid(i, length);
        else
            AppendCodePoint(out, c);
        i += length;
    }
    return out;
}

}  // namespace lumivel::qtui
