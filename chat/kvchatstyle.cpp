#include "kvchatstyle.h"

#include <climits>
#include <cmath>

int kvScaledInt(double product)
{
    if (std::isnan(product))
        return 0;
    if (product >= double(INT_MAX))
        return INT_MAX;
    if (product <= double(INT_MIN))
        return INT_MIN;
    return static_cast<int>(std::trunc(product));
}

QString kvStyleNumber(double value)
{
    return QString::number(value, 'g', 6);
}

QString kvChatScrollBarStyle(double scale)
{
    return QStringLiteral(
               "QScrollBar:vertical{width:%5px;background-color:rgba(0,0,0,0);margin:0px,0px,0px,"
               "0px;padding-top:0px;padding-bottom:0px;padding-right:%1px;}QScrollBar::handle:"
               "vertical{border-radius: %2px;width:%3px;background: rgb(0, 0, 0, "
               "20);min-height:%4px;}QScrollBar::handle:vertical:hover{border-radius: "
               "%2px;width:%3px;background:rgb(0, 0, 0, "
               "30);min-height:%4px;}QScrollBar::handle:vertical:pressed{border-radius: "
               "%2px;width:%3px;background:rgb(0, 0, 0, "
               "40);min-height:%4px;}QScrollBar::sub-line:vertical, "
               "QScrollBar::add-line:vertical{width: 0px;height: "
               "0px;}QScrollBar::add-page:vertical,QScrollBar::sub-page:vertical{background: "
               "rgba(0,0,0,0);}")
        .arg(kvStyleNumber(2 * scale))
        .arg(kvScaled(4, scale))
        .arg(kvStyleNumber(8 * scale))
        .arg(kvScaled(20, scale))
        .arg(kvScaled(10, scale));
}
