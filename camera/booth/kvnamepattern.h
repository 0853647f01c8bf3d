// The camera name a host asks for, read as an ECMAScript pattern and searched
// anywhere in a device's friendly name.
#ifndef KVNAMEPATTERN_H
#define KVNAMEPATTERN_H

#include <QRegularExpression>
#include <QString>

class KvNamePattern
{
public:
    enum Result { Miss, Hit, Refused };

    // Longest pattern compiled, in UTF-16 code units; a longer one is refused.
    static const int kMaxLength = 1024;
    // Backtracking steps one search may take before it is refused.
    static const int kMatchLimit = 1000000;

    explicit KvNamePattern(const QString &pattern);

    // False for a pattern that is not valid ECMAScript or is too long.
    bool isValid() const { return m_valid; }
    // Hit or Miss; Refused when the pattern is invalid or the search ran into its limits.
    Result search(const QString &friendlyName) const;

private:
    bool m_valid = false;
    QRegularExpression m_expression;
};

#endif // KVNAMEPATTERN_H
