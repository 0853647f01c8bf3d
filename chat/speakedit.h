#ifndef SPEAKEDIT_H
#define SPEAKEDIT_H

#include <QTextEdit>

// The input edit: Return and Enter send (or report an empty text) instead of
// breaking the line, whatever modifiers are held.
class speakEdit : public QTextEdit
{
    Q_OBJECT

public:
    speakEdit(double scale, QWidget *parent);

signals:
    void sigEmpty();
    void sigSend();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

#endif
