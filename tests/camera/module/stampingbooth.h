#ifndef STAMPINGBOOTH_H
#define STAMPINGBOOTH_H

#include "fakebooth.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>

// A scripted booth whose conversion stamps each frame with the sequence
// number that the sample carries in its first four bytes: the number at the
// start of the Y plane and at the end of the V plane, the planes filled with
// bytes derived from it. It remembers, in order, which buffer got which
// frame, so that a display can check what it is handed.
class StampingBooth : public FakeBooth
{
public:
    static std::vector<unsigned char> sample(std::uint32_t seq)
    {
        std::vector<unsigned char> s(16, 0);
        std::memcpy(s.data(), &seq, sizeof seq);
        return s;
    }

    int convertFrame(const uchar *sample, int *len, uchar *dst, int dstSize) override
    {
        ++converts;
        if (!len || *len < 4)
            return -1;
        QJsonObject f;
        getVideoFormat(f);
        const int w = f.value("width").toInt();
        const int h = f.value("height").toInt();
        const int size = w * h * 3 / 2;
        if (w < 4 || h < 4 || size > dstSize)
            return -1;
        std::uint32_t seq = 0;
        std::memcpy(&seq, sample, sizeof seq);
        stamp(dst, w, h, seq);
        std::lock_guard<std::mutex> g(m_lentMutex);
        m_converted.emplace_back(dst, seq);
        newest.store(seq);
        return size;
    }

    static void stamp(uchar *dst, int w, int h, std::uint32_t seq)
    {
        const int y = w * h;
        std::memset(dst, int(seq & 0xff), std::size_t(y));
        std::memset(dst + y, int((seq + 1) & 0xff), std::size_t(y / 4));
        std::memset(dst + y * 5 / 4, int((seq + 2) & 0xff), std::size_t(y / 4));
        std::memcpy(dst, &seq, sizeof seq);
        std::memcpy(dst + y * 3 / 2 - sizeof seq, &seq, sizeof seq);
    }

    // Empty when the frame behind data is still frame seq, whole; otherwise
    // what differs.
    static QString check(const uchar *data, int w, int h, std::uint32_t seq)
    {
        const int y = w * h;
        const int size = y * 3 / 2;
        std::uint32_t head = 0, tail = 0;
        std::memcpy(&head, data, sizeof head);
        std::memcpy(&tail, data + size - sizeof tail, sizeof tail);
        if (head != seq || tail != seq)
            return QString("frame %1 stamped %2 / %3").arg(seq).arg(head).arg(tail);
        for (int i = int(sizeof seq); i < size - int(sizeof seq); ++i) {
            const uchar want = uchar((seq + (i < y ? 0 : i < y * 5 / 4 ? 1 : 2)) & 0xff);
            if (data[i] != want)
                return QString("frame %1: byte %2 is %3").arg(seq).arg(i).arg(data[i]);
        }
        return QString();
    }

    // The oldest conversion not yet taken: its buffer and sequence number.
    bool takeConverted(const uchar **dst, std::uint32_t *seq)
    {
        std::lock_guard<std::mutex> g(m_lentMutex);
        if (m_converted.empty())
            return false;
        *dst = m_converted.front().first;
        *seq = m_converted.front().second;
        m_converted.pop_front();
        return true;
    }

    std::atomic<std::uint32_t> newest{0};

private:
    std::mutex m_lentMutex;
    std::deque<std::pair<const uchar *, std::uint32_t>> m_converted;
};

#endif
