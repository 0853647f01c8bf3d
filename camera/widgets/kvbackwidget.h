#ifndef KVBACKWIDGET_H
#define KVBACKWIDGET_H

#include <QWidget>

class QPushButton;

// Translucent overlay of the camera window: a dashed red frame, four corner
// brackets and the full-screen button in the bottom-right corner.
class KvBackWidget : public QWidget
{
    Q_OBJECT
public:
    KvBackWidget(double scale, QWidget *parent);

    // Hit test and toggle for the camera window's left-button release: true
    // (and isFull = the new state) when the toggle is enabled and pos is on
    // the full-screen button.
    bool toggleFullScreenAt(bool &isFull, const QPoint &pos);

    // True when the toggle is enabled and pos is on the full-screen button.
    bool isOnFullScreenButton(const QPoint &pos) const;

    // Turns the full-screen toggle on or off and shows or hides the button.
    void setFullScreenToggleEnabled(bool enabled);
    bool isFullScreenToggleEnabled() const { return m_toggleEnabled; }
    bool isFullScreen() const { return m_fullScreen; }

public slots:
    void slotOnBtnClicked(bool isCheck);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void paintDecoration(QPainter &painter);
    void updateMask();

    double m_scale;
    QPushButton *m_button;
    bool m_fullScreen;
    bool m_toggleEnabled;
};

#endif
