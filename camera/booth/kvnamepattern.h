// The camera name a host asks for, read as an ECMAScript pattern (std::wregex) and searched
// anywhere in a device's friendly name.
#ifndef KVNAMEPATTERN_H
#define KVNAMEPATTERN_H

#include <QString>

#include <memory>
#include <regex>

class KvNamePattern
{
public:
    enum Result { Miss, Hit, Refused };

    // Longest pattern compiled, in UTF-16 code units; a longer one is refused.
    static const int kMaxLength = 1024;
    // Longest friendly name searched, in UTF-16 code units; a longer one matches nothing.
    static const int kMaxNameLength = 1024;
    // Steps (moves and reads of the search's position) one search may take before it is refused.
    static const long kStepLimit = 4000000;
    // Stack one search may use before it is refused, at most; less on a small thread stack.
    static const long kStackLimit = 4 << 20;

    explicit KvNamePattern(const QString &pattern);
    ~KvNamePattern();

    // False for a pattern that is not valid ECMAScript or is too long.
    bool isValid() const { return m_valid; }
    // Hit or Miss (a name longer than kMaxNameLength is a Miss); Refused when the pattern is
    // invalid or the search ran into its limits. `device` names the device in the log.
    Result search(const QString &friendlyName, const QString &device = QString()) const;

private:
    bool m_valid = false;
    std::unique_ptr<std::wregex> m_expression;
};

#endif // KVNAMEPATTERN_H
