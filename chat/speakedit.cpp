#include "speakedit.h"

#include "kvchatstyle.h"

#include <QKeyEvent>
#include <QScrollBar>

speakEdit::speakEdit(double scale, QWidget *parent) : QTextEdit(parent)
{
    verticalScrollBar()->setStyleSheet(kvChatScrollBarStyle(scale));
    setContextMenuPolicy(Qt::NoContextMenu);
}

void speakEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (toPlainText().length() == 0)
            emit sigEmpty();
        else
            emit sigSend();
        return;
    }
    QTextEdit::keyPressEvent(event);
}
