#ifndef KVCHATSTYLE_H
#define KVCHATSTYLE_H

#include <QString>

// Scaled sizes of the chat widgets: a base size in pixels times the room's
// scale, truncated toward zero and kept inside the int range.
int kvScaledInt(double product);
inline int kvScaled(double base, double scale)
{
    return kvScaledInt(base * scale);
}

// A floating style-sheet value: Qt's general format, six significant digits.
QString kvStyleNumber(double value);

// Style of the vertical scroll bars of the message view and the input edit.
QString kvChatScrollBarStyle(double scale);

#endif
