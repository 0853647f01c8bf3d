#ifndef KVMESSAGELIMITS_H
#define KVMESSAGELIMITS_H

// What the message view keeps; the host keeps the whole conversation.
//
// Qt's document layout gives a text edit one page of QFIXED_MAX pixels
// (INT_MAX / 256 = 8 388 607) and breaks pages in a loop that never advances
// on that page: a layout pass that carries a line across y = 8 388 607 never
// returns. The view therefore keeps its document far below that height, and
// never lets one change add more than the rest of the way.
namespace KvMessageLimits {

// Messages shown at most, the newest. When one more arrives, the oldest
// kDropMessages leave together: every removal at the top moves all blocks
// below it, so one message at a time would cost a pass over the whole
// document per message.
constexpr int kMaxMessages = 5000;
constexpr int kDropMessages = 500;
// Characters shown of one paragraph (header or text); the rest is cut and a
// mark says so. Also bounds the time a message takes to lay out.
constexpr int kMaxParagraphChars = 10000;
// Height the document is brought back under after every change, in pixels;
// when it has to shrink, it shrinks to kDropToHeight.
constexpr double kKeptHeight = 4000000;
constexpr double kDropToHeight = 3600000;
// Height one change may add at most, estimated before it is laid out: every
// character on a line of its own, each line kLineHeightPerPixel times the
// font's pixel size (fallback fonts included).
constexpr double kPassHeight = 4000000;
constexpr double kLineHeightPerPixel = 4;

} // namespace KvMessageLimits

#endif
