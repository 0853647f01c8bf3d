#ifndef KVTEXTHEIGHT_H
#define KVTEXTHEIGHT_H

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QString>

// The height a plain paragraph will take in the message view, estimated
// without laying it out: glyph advances of single characters (cached), lines
// filled word by word as the view wraps them, a word longer than a line
// broken anywhere. Shaping and kerning are left out, so it is close, not
// exact; it decides how much history is worth laying out at all.
class KvTextHeight
{
public:
    explicit KvTextHeight(const QFont &font);

    // Pixels the text takes at this line width, line breaks included.
    double height(const QString &text, double width);

private:
    double advance(QChar c);
    int lines(const QString &text, double width);

    QFontMetricsF m_metrics;
    QHash<char16_t, double> m_advances;
};

#endif
