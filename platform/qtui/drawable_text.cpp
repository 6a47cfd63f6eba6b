// Text from the directory may hold characters that no installed font has a glyph for (Chinese
// on a machine without a CJK font, a rare ideograph outside the Basic Multilingual Plane, a
// private-use code point): Qt would draw an empty box, which tells the reader nothing. Such a
// character is shown as its code point.
#include <QApplication>
#include <QChar>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>
#include <QTextLayout>

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

// Whether a layout of the character, as painting makes it, finds a glyph for it. Painting picks
// its fallback fonts per script (Han text from the fonts that fontconfig offers for Chinese,
// emoji from those for emoji), so the font's own claim for the common script is not what a
// reader sees; a character no font has comes out as glyph 0, the empty box.
bool LaidOutWithGlyphs(char32_t c, const QFont& font) {
    QTextLayout layout(QString::fromUcs4(&c, 1), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    bool any = false;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        if (!run.rawFont().isValid()) return false;
        for (quint32 glyph : run.glyphIndexes()) {
            if (glyph == 0) return false;
            any = true;
        }
    }
    return any;
}

// Asked on the UI thread only (widgets are built there); the answer holds for the process,
// since the fonts a program can fall back on do not change while it runs.
bool Drawable(char32_t c, const QFont& font) {
    static QHash<QString, QHash<char32_t, bool>> known;
    QHash<char32_t, bool>& ofFont = known[font.key()];
    auto found = ofFont.constFind(c);
    if (found != ofFont.constEnd()) return *found;
    bool drawable = DrawnWithNeighbours(c) || LaidOutWithGlyphs(c, font);
    ofFont.insert(c, drawable);
    return drawable;
}

void AppendCodePoint(QString& out, char32_t c) {
    out += QStringLiteral("[U+%1]").arg(QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

}  // namespace

QString DrawableText(const QString& text) { return DrawableText(text, QApplication::font()); }

QString DrawableText(const QString& text, const QFont& font) {
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
        if (layout || (c >= 0x20 && c != 0x7F && !lone && Drawable(c, font)))
            out += text.mid(i, length);
        else
            AppendCodePoint(out, c);
        i += length;
    }
    return out;
}

}  // namespace lumivel::qtui
