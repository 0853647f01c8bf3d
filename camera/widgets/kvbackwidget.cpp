#include "kvbackwidget.h"

#include <QBitmap>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const char *const kNormalStyle =
    "border-image:url(:/img/images/main_widget/camera_full_screen.png);";
const char *const kFullScreenStyle =
    "border-image:url(:/img/images/main_widget/camera_restore.png);";
} // namespace

KvBackWidget::KvBackWidget(double scale, QWidget *parent) : QWidget(parent), m_scale(scale)
{
    m_button = new QPushButton(this);
    m_button->setStyleSheet(kNormalStyle);
    m_button->setFixedSize(int(40 * m_scale), int(40 * m_scale));
    m_button->setCheckable(true);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, int(16 * m_scale), 0);
    row->addStretch(0);
    row->addWidget(m_button, 0);

    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, int(16 * m_scale));
    column->addStretch(0);
    column->addLayout(row);
    setLayout(column);

    connect(m_button, &QPushButton::clicked, this, &KvBackWidget::slotOnBtnClicked);
    m_button->setObjectName("fullbtn");
    m_fullScreen = false;
    m_toggleEnabled = false;
    m_button->setVisible(false);
}

bool KvBackWidget::toggleFullScreenAt(bool &isFull, const QPoint &pos)
{
    QWidget *child = childAt(pos);
    if (!m_toggleEnabled)
        return false;
    if (!child || child->objectName() != "fullbtn")
        return false;
    m_fullScreen = !m_fullScreen;
    m_button->setStyleSheet(m_fullScreen ? kFullScreenStyle : kNormalStyle);
    isFull = m_fullScreen;
    return true;
}

bool KvBackWidget::isOnFullScreenButton(const QPoint &pos) const
{
    const QWidget *child = childAt(pos);
    return m_toggleEnabled && child && child->objectName() == QLatin1String("fullbtn");
}

void KvBackWidget::setFullScreenToggleEnabled(bool enabled)
{
    m_toggleEnabled = enabled;
    m_button->setVisible(enabled);
    updateMask();
}

void KvBackWidget::slotOnBtnClicked(bool isCheck)
{
    Q_UNUSED(isCheck);
}

void KvBackWidget::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.save();
    paintDecoration(painter);
    painter.restore();
    QWidget::paintEvent(event);
}

void KvBackWidget::paintDecoration(QPainter &painter)
{
    const QRect r = rect();

    QPen pen(Qt::DashLine);
    pen.setColor(Qt::red);
    pen.setWidth(int(2 * m_scale));
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QRect frame = r.adjusted(1, 1, -1, -1);
    painter.drawRects(&frame, 1);

    painter.setBrush(QBrush(QColor(0xF8403D), Qt::SolidPattern));
    painter.setPen(Qt::NoPen);
    const int outerSide = int(40 * m_scale);
    const int innerSide = int(38 * m_scale);
    const int d = int(4 * m_scale);
    QRect outer(0, 0, outerSide, outerSide);
    QRect inner(0, 0, innerSide, innerSide);
    const auto drawBracket = [&]() {
        const QPolygon bracket = QPolygon(outer).subtracted(QPolygon(inner));
        painter.drawPolygon(bracket, Qt::OddEvenFill);
    };
    outer.moveTopLeft(r.topLeft());
    inner.moveTopLeft(r.topLeft() + QPoint(d, d));
    drawBracket();
    outer.moveTopRight(r.topRight());
    inner.moveTopRight(r.topRight() + QPoint(-d, d));
    drawBracket();
    outer.moveBottomLeft(r.bottomLeft());
    inner.moveBottomLeft(r.bottomLeft() + QPoint(d, -d));
    drawBracket();
    outer.moveBottomRight(r.bottomRight());
    inner.moveBottomRight(r.bottomRight() + QPoint(-d, -d));
    drawBracket();
}

void KvBackWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateMask();
}

// Without a compositing manager the transparent parts of a translucent window
// come out opaque and would hide the video below. The mask keeps only what is
// painted (frame, brackets, button), so the rest is not part of the window.
void KvBackWidget::updateMask()
{
    if (width() <= 0 || height() <= 0)
        return;
    QImage image(size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        paintDecoration(painter);
    }
    QRegion region(QBitmap::fromImage(image.createAlphaMask()));
    if (!m_button->isHidden()) {
        layout()->activate();
        region += m_button->geometry();
    }
    setMask(region);
}

void KvBackWidget::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
}

void KvBackWidget::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
}

void KvBackWidget::mouseReleaseEvent(QMouseEvent *event)
{
    QWidget::mouseReleaseEvent(event);
}
