#include "kvcamerarenderwidget.h"

KvCameraRenderWidget::KvCameraRenderWidget(QWidget *parent) : QOpenGLWidget(parent)
{
    setWindowFlag(Qt::FramelessWindowHint);
}

void KvCameraRenderWidget::slotReceiveVideoFrame(void *ptr, int width, int height)
{
    m_frame = static_cast<unsigned char *>(ptr);
    m_width = width;
    m_height = height;
    update();
}
