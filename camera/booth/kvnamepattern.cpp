#include "kvnamepattern.h"

#include <QDebug>

#include <regex>
#include <string>

// std::regex decides what is a valid ECMAScript pattern: its compiler recurses
// once per term, which the length limit bounds. It does not run the search,
// because its matcher recurses once per character of the name and has no step
// limit. The search runs in PCRE2 (through QRegularExpression), which keeps its
// backtracking off the stack, counts its steps and reports an error at the limit.
// A pattern that compiles as ECMAScript cannot start with "(*", so the limit
// set in front of it is the only such setting.
KvNamePattern::KvNamePattern(const QString &pattern)
{
    if (pattern.size() > kMaxLength) {
        qDebug() << "camera name pattern refused: it has" << pattern.size()
                 << "characters, more than" << kMaxLength;
        return;
    }
    try {
        std::wregex(pattern.toStdWString(), std::regex_constants::ECMAScript);
    } catch (const std::regex_error &error) {
        qDebug() << "camera name pattern refused:" << pattern << "is not valid:" << error.what();
        return;
    }
    m_expression.setPattern(QStringLiteral("(*LIMIT_MATCH=%1)").arg(kMatchLimit) + pattern);
    if (!m_expression.isValid()) {
        qDebug() << "camera name pattern refused:" << pattern
                 << "is not supported:" << m_expression.errorString();
        return;
    }
    m_valid = true;
}

KvNamePattern::Result KvNamePattern::search(const QString &friendlyName) const
{
    if (!m_valid)
        return Refused;
    const QRegularExpressionMatch match = m_expression.match(friendlyName);
    if (!match.isValid()) {
        qDebug() << "camera name search refused:" << m_expression.pattern()
                 << "ran into its step limit on a name of" << friendlyName.size() << "characters";
        return Refused;
    }
    return match.hasMatch() ? Hit : Miss;
}
