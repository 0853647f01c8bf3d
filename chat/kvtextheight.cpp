#include "kvtextheight.h"

#include <cmath>

namespace {

// Characters the view turns into a new paragraph or line.
bool breaksLine(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator ||
           c == QChar::LineSeparator;
}

} // namespace

KvTextHeight::KvTextHeight(const QFont &font) : m_metrics(font) {}

double KvTextHeight::height(const QString &text, double width)
{
    // Lines of a text block are ascent plus descent high, rounded up.
    return lines(text, qMax(1.0, width)) * std::ceil(m_metrics.ascent() + m_metrics.descent());
}

double KvTextHeight::advance(QChar c)
{
    auto it = m_advances.constFind(c.unicode());
    if (it != m_advances.constEnd())
        return *it;
    // A surrogate pair counts as one wide glyph.
    double w = 0;
    if (c.isHighSurrogate())
        w = m_metrics.maxWidth();
    else if (!c.isLowSurrogate())
        w = m_metrics.horizontalAdvance(c);
    m_advances.insert(c.unicode(), w);
    return w;
}

int KvTextHeight::lines(const QString &text, double width)
{
    int count = 1;
    double line = 0; // placed on the current line, trailing spaces included
    double word = 0; // the word being read
    auto placeWord = [&] {
        if (line > 0 && line + word > width) {
            ++count;
            line = 0;
        }
        line += word;
        word = 0;
    };
    for (QChar c : text) {
        if (breaksLine(c)) {
            placeWord();
            ++count;
            line = 0;
            continue;
        }
        const double w = advance(c);
        if (c.isSpace()) {
            placeWord();
            line += w; // spaces hang past the edge
            continue;
        }
        word += w;
        if (word > width) {
            // No word boundary within a line: the word starts a line of its
            // own and breaks where the line is full.
            if (line > 0)
                ++count;
            ++count;
            line = 0;
            word = w;
        }
    }
    placeWord();
    return count;
}
