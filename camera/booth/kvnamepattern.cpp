#include "kvnamepattern.h"

#include <QDebug>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <new>
#include <pthread.h>
#include <string>

// std::wregex's matcher backtracks by recursion, about once per state it passes, with no step
// limit of its own. The search therefore walks the name through an iterator that counts every
// move, read and comparison of the search position and checks the depth of the stack on each;
// past either limit it throws, and the search is refused. Between two such operations the
// matcher passes only alternatives and empty states, a number the pattern's length bounds, so
// the stack left beyond the limit covers them.
namespace {

struct SearchLimits
{
    long steps = 0;
    uintptr_t deepestFrame = 0; // the stack grows down: frames below this are refused
};

struct LimitReached
{
};

class CountingIterator
{
public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = wchar_t;
    using difference_type = std::ptrdiff_t;
    using pointer = const wchar_t *;
    using reference = const wchar_t &;

    CountingIterator() = default;
    CountingIterator(const wchar_t *at, SearchLimits *limits) : m_at(at), m_limits(limits) {}
    CountingIterator(const CountingIterator &other) : m_at(other.m_at), m_limits(other.m_limits)
    {
        step();
    }
    CountingIterator &operator=(const CountingIterator &other)
    {
        m_at = other.m_at;
        m_limits = other.m_limits;
        step();
        return *this;
    }

    reference operator*() const
    {
        step();
        return *m_at;
    }
    pointer operator->() const { return &**this; }
    CountingIterator &operator++()
    {
        step();
        ++m_at;
        return *this;
    }
    CountingIterator operator++(int)
    {
        CountingIterator before(*this);
        ++*this;
        return before;
    }
    CountingIterator &operator--()
    {
        step();
        --m_at;
        return *this;
    }
    CountingIterator operator--(int)
    {
        CountingIterator before(*this);
        --*this;
        return before;
    }
    friend bool operator==(const CountingIterator &a, const CountingIterator &b)
    {
        a.step();
        return a.m_at == b.m_at;
    }
    friend bool operator!=(const CountingIterator &a, const CountingIterator &b)
    {
        return !(a == b);
    }

private:
    void step() const
    {
        if (m_limits && (++m_limits->steps > KvNamePattern::kStepLimit ||
                         uintptr_t(__builtin_frame_address(0)) < m_limits->deepestFrame))
            throw LimitReached();
    }

    const wchar_t *m_at = nullptr;
    SearchLimits *m_limits = nullptr;
};

// Bytes of stack between `frame` and the end of the calling thread's stack; 0 when unknown.
uintptr_t stackLeft(uintptr_t frame)
{
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return 0;
    void *lowest = nullptr;
    size_t size = 0;
    const bool known = pthread_attr_getstack(&attr, &lowest, &size) == 0;
    pthread_attr_destroy(&attr);
    const uintptr_t low = uintptr_t(lowest);
    return known && frame > low && frame - low <= size ? frame - low : 0;
}

} // namespace

KvNamePattern::KvNamePattern(const QString &pattern)
{
    // The compiler recurses once per term, which the length limit bounds.
    if (pattern.size() > kMaxLength) {
        qDebug() << "camera name pattern refused: it has" << pattern.size()
                 << "characters, more than" << kMaxLength;
        return;
    }
    try {
        m_expression.reset(
            new std::wregex(pattern.toStdWString(), std::regex_constants::ECMAScript));
    } catch (const std::regex_error &error) {
        qDebug() << "camera name pattern refused:" << pattern << "is not valid:" << error.what();
        return;
    }
    m_valid = true;
}

KvNamePattern::~KvNamePattern() = default;

KvNamePattern::Result KvNamePattern::search(const QString &friendlyName,
                                            const QString &device) const
{
    if (!m_valid)
        return Refused;
    // Real names are a few hundred characters at most; searching a much longer one would
    // take a stack deeper than a thread can be sure to have.
    if (friendlyName.size() > kMaxNameLength) {
        qDebug() << "camera name not searched:" << device << "has a name of" << friendlyName.size()
                 << "characters, more than" << kMaxNameLength;
        return Miss;
    }
    const std::wstring name = friendlyName.toStdWString();
    SearchLimits limits;
    const uintptr_t frame = uintptr_t(__builtin_frame_address(0));
    const uintptr_t left = stackLeft(frame);
    // Half of what is left, so that the states between two checks always fit; a quarter
    // megabyte where the thread's stack cannot be found.
    const uintptr_t budget =
        left > 0 ? std::min<uintptr_t>(uintptr_t(kStackLimit), left / 2) : uintptr_t(256 << 10);
    limits.deepestFrame = frame - budget;
    const wchar_t *begin = name.c_str();
    try {
        const bool hit =
            std::regex_search(CountingIterator(begin, &limits),
                              CountingIterator(begin + name.size(), &limits), *m_expression);
        return hit ? Hit : Miss;
    } catch (const LimitReached &) {
        qDebug() << "camera name search refused:" << device << "- the pattern took"
                 << (limits.steps > kStepLimit ? "more steps than" : "more stack than")
                 << (limits.steps > kStepLimit ? kStepLimit : long(budget)) << "on a name of"
                 << friendlyName.size() << "characters";
    } catch (const std::regex_error &error) {
        qDebug() << "camera name search refused:" << device << "-" << error.what();
    } catch (const std::bad_alloc &) {
        qDebug() << "camera name search refused:" << device << "- out of memory";
    }
    return Refused;
}
