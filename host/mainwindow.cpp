#include "mainwindow.h"

#include "camerawatcher.h"
#include "camvideo.h"
#include "chatdemo.h"
#include "formattext.h"
#include "framemeter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

MainWindow::MainWindow(CamVideo *camera, double scale, bool builtInCamera, bool renderWidget,
                       QWidget *parent)
    : QMainWindow(parent), m_camera(camera), m_meter(new FrameMeter(this)),
      m_demoCamera(builtInCamera)
{
    setWindowTitle(QStringLiteral("KvCamVideo demo host"));

    auto *central = new QWidget(this);
    auto *columns = new QHBoxLayout(central);
    m_leftColumn = new QVBoxLayout;
    m_cameraBox = buildCameraPanel();
    m_leftColumn->addWidget(m_cameraBox);
    m_leftColumn->addWidget(buildProbePanel());
    m_leftColumn->addStretch(1);
    columns->addLayout(m_leftColumn, 1);
    columns->addWidget(buildChatPanel(scale), 0, Qt::AlignTop);
    setCentralWidget(central);

    connect(m_meter, &FrameMeter::frameArrived, this, &MainWindow::updateStatus);
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &MainWindow::updateStatus);
    timer->start(500);

    // Cameras plugged in or out show up in the list by themselves.
    auto *watcher = new CameraWatcher(this);
    connect(watcher, &CameraWatcher::camerasChanged, this, &MainWindow::refreshCameras);
    // PipeWire's cameras (also those /dev does not show) as the library hears of them.
    CamVideo::watchCameras(watcher, [watcher] { watcher->listChanged(); });

    refreshCameras();
    if (renderWidget)
        m_mode->setCurrentIndex(1);
    updateButtons();
}

MainWindow::~MainWindow()
{
    if (m_probe) {
        m_probe->disconnect(this);
        m_probe->kill();
        m_probe->waitForFinished(2000);
    }
    // The room must outlive its panels.
    delete m_chatPanel;
    delete m_chat;
}

QWidget *MainWindow::videoWidget() const
{
    return m_camera ? m_camera->getVideoWidget() : nullptr;
}

QWidget *MainWindow::buildCameraPanel()
{
    auto *box = new QGroupBox(QStringLiteral("Camera"));
    auto *layout = new QVBoxLayout(box);

    m_list = new QListWidget;
    m_list->setMaximumHeight(90);
    layout->addWidget(m_list);

    auto *buttons = new QHBoxLayout;
    auto *refresh = new QPushButton(QStringLiteral("Refresh"));
    m_startButton = new QPushButton(QStringLiteral("Start"));
    m_stopButton = new QPushButton(QStringLiteral("Stop"));
    m_videoButton = new QPushButton(QStringLiteral("Hide video"));
    buttons->addWidget(refresh);
    buttons->addWidget(m_startButton);
    buttons->addWidget(m_stopButton);
    buttons->addWidget(m_videoButton);
    layout->addLayout(buttons);
    connect(refresh, &QPushButton::clicked, this, &MainWindow::refreshCameras);
    connect(m_startButton, &QPushButton::clicked, this, &MainWindow::onStart);
    connect(m_stopButton, &QPushButton::clicked, this, &MainWindow::onStop);
    connect(m_videoButton, &QPushButton::clicked, this, &MainWindow::onToggleVideo);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &MainWindow::updateButtons);

    auto *modeRow = new QHBoxLayout;
    modeRow->addWidget(new QLabel(QStringLiteral("Display:")));
    m_mode = new QComboBox;
    m_mode->addItem(QStringLiteral("Camera window"));
    m_mode->addItem(QStringLiteral("OpenGL widget (embedded below)"));
    modeRow->addWidget(m_mode, 1);
    layout->addLayout(modeRow);
    connect(m_mode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MainWindow::onModeChanged);

    m_fullScreenButton = new QCheckBox(QStringLiteral("Full-screen button on the camera window"));
    layout->addWidget(m_fullScreenButton);
    connect(m_fullScreenButton, &QCheckBox::toggled, this, &MainWindow::applyFullScreenButton);

    m_formatLabel = new QLabel;
    m_rateLabel = new QLabel;
    m_messageLabel = new QLabel;
    m_messageLabel->setWordWrap(true);
    layout->addWidget(m_formatLabel);
    layout->addWidget(m_rateLabel);
    layout->addWidget(m_messageLabel);

    m_videoArea = new QWidget;
    m_videoLayout = new QVBoxLayout(m_videoArea);
    m_videoLayout->setContentsMargins(0, 0, 0, 0);
    m_videoArea->setMinimumSize(320, 180);
    m_videoArea->setVisible(false);
    layout->addWidget(m_videoArea, 1);
    return box;
}

QWidget *MainWindow::buildProbePanel()
{
    auto *box = new QGroupBox(QStringLiteral("Hardware encoders"));
    auto *layout = new QVBoxLayout(box);
    auto *row = new QHBoxLayout;
    m_probeButton = new QPushButton(QStringLiteral("Probe encoders"));
    m_probeMask = new QLabel;
    row->addWidget(m_probeButton);
    row->addWidget(m_probeMask, 1);
    layout->addLayout(row);
    m_probeOutput = new QPlainTextEdit;
    m_probeOutput->setReadOnly(true);
    m_probeOutput->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_probeOutput->setMaximumHeight(150);
    layout->addWidget(m_probeOutput);
    connect(m_probeButton, &QPushButton::clicked, this, &MainWindow::runProbe);
    return box;
}

QWidget *MainWindow::buildChatPanel(double scale)
{
    auto *box = new QGroupBox(QStringLiteral("Chat"));
    auto *layout = new QVBoxLayout(box);
    m_chat = new ChatDemo(scale);
    if (!m_chat->isValid()) {
        layout->addWidget(new QLabel(QStringLiteral("The chat library gave no room.")));
        return box;
    }
    m_chatPanel = m_chat->createPanel(box);
    layout->addWidget(m_chatPanel);
    auto *row = new QHBoxLayout;
    auto *reset = new QPushButton(QStringLiteral("Reset room"));
    m_muteLabel = new QLabel(QStringLiteral("Sending allowed"));
    row->addWidget(reset);
    row->addWidget(m_muteLabel, 1);
    layout->addLayout(row);
    connect(reset, &QPushButton::clicked, m_chat, &ChatDemo::reset);
    connect(m_chat, &ChatDemo::muteChanged, this, [this](bool canSend) {
        m_muteLabel->setText(canSend ? QStringLiteral("Sending allowed")
                                     : QStringLiteral("Room muted: the remote side stays quiet"));
    });
    m_chat->loadSampleHistory();
    return box;
}

void MainWindow::refreshCameras()
{
    const QString selectedPath =
        m_list->currentRow() >= 0 ? m_cameras.value(m_list->currentRow()).path : QString();
    m_list->clear();
    m_cameras = m_demoCamera.list([this] {
        QVector<CamDevInfo> cameras;
        if (m_camera)
            m_camera->getCameraInfos(cameras);
        return cameras;
    });
    for (const CamDevInfo &info : qAsConst(m_cameras))
        m_list->addItem(QStringLiteral("%1  (%2)").arg(info.name, info.path));
    int row = 0;
    for (int i = 0; i < m_cameras.size(); ++i)
        if (m_cameras[i].path == selectedPath)
            row = i;
    if (!m_cameras.isEmpty())
        m_list->setCurrentRow(row);
    else
        m_messageLabel->setText(QStringLiteral("No camera found."));
    if (m_demoCamera.active())
        m_messageLabel->setText(
            QStringLiteral("No camera was found, so this demo defined a virtual camera "
                           "(MJPG 1280x720 and YUY2 640x480, colour bars)."));
    updateButtons();
}

int MainWindow::startCameraAt(int row)
{
    if (!m_camera || row < 0 || row >= m_cameras.size())
        return -1;
    const int rc = m_camera->startCameraByPath(m_cameras[row].path);
    if (rc == 0) {
        if (m_renderMode) {
            embedRenderWidget();
            m_camera->setVideoVisible(m_videoShown);
        } else {
            applyFullScreenButton();
            if (!m_videoShown)
                m_camera->setVideoVisible(false);
        }
        // Frames that reached the screen: a display that cannot show them
        // reads 0 fps rather than the camera's rate.
        m_meter->watch([camera = m_camera] { return camera->shownFrameCount(); });
        m_messageLabel->setText(QStringLiteral("Started %1.").arg(m_cameras[row].name));
    } else if (rc < 0) {
        m_messageLabel->setText(
            QStringLiteral("Could not start %1 (result %2).").arg(m_cameras[row].name).arg(rc));
    }
    updateButtons();
    return rc;
}

void MainWindow::onStart()
{
    startCameraAt(m_list->currentRow());
}

void MainWindow::onStop()
{
    if (m_camera)
        m_camera->stopCamera();
    m_meter->stop();
    m_messageLabel->setText(QStringLiteral("Stopped."));
    updateButtons();
}

void MainWindow::onToggleVideo()
{
    m_videoShown = !m_videoShown;
    if (m_camera)
        m_camera->setVideoVisible(m_videoShown);
    m_videoButton->setText(m_videoShown ? QStringLiteral("Hide video")
                                        : QStringLiteral("Show video"));
}

void MainWindow::onModeChanged(int index)
{
    // The camera library switches to the OpenGL widget once and for good.
    if (index != 1 || !m_camera)
        return;
    if (m_camera->useRenderWidget() != 0) {
        m_mode->setCurrentIndex(0);
        return;
    }
    m_renderMode = true;
    m_mode->setEnabled(false);
    embedRenderWidget();
}

void MainWindow::embedRenderWidget()
{
    QWidget *video = m_camera ? m_camera->getVideoWidget() : nullptr;
    if (!video || video->parentWidget() == m_videoArea)
        return;
    video->setParent(m_videoArea);
    m_videoLayout->addWidget(video);
    m_videoArea->setVisible(true);
    // The embedded video takes the room the column has left.
    m_leftColumn->setStretchFactor(m_cameraBox, 1);
    m_leftColumn->setStretch(m_leftColumn->count() - 1, 0);
    video->setVisible(m_camera->isStarted() && m_videoShown);
}

void MainWindow::applyFullScreenButton()
{
    // The camera window offers the toggle as an invokable operation; the host
    // knows it only as a QWidget.
    QWidget *video = m_camera ? m_camera->getVideoWidget() : nullptr;
    if (video && !m_renderMode)
        QMetaObject::invokeMethod(video, "setFullScreenToggleEnabled",
                                  Q_ARG(bool, m_fullScreenButton->isChecked()));
}

void MainWindow::runProbe()
{
    if (m_probe)
        return;
    m_probeOutput->clear();
    m_probeMask->setText(QStringLiteral("probing..."));
    m_probe = new QProcess(this);
    m_probe->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_probe, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &MainWindow::onProbeFinished);
    connect(m_probe, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            onProbeFinished();
    });
    m_probe->start(QDir(QCoreApplication::applicationDirPath()).filePath("encprobe"),
                   QStringList());
    m_probeButton->setEnabled(false);
}

void MainWindow::onProbeFinished()
{
    if (!m_probe)
        return;
    QProcess *p = m_probe;
    m_probe = nullptr;
    m_probeOutput->setPlainText(QString::fromLocal8Bit(p->readAll()));
    if (p->error() == QProcess::FailedToStart) {
        m_probeMask->setText(QStringLiteral("encprobe could not be started"));
    } else {
        // The exit status keeps the low 8 bits of the mask, which hold all four bits.
        const int mask = p->exitCode() & 0xFF;
        m_probeMask->setText(QStringLiteral("mask 0x%1").arg(mask, 2, 16, QLatin1Char('0')));
    }
    p->deleteLater();
    m_probeButton->setEnabled(true);
    emit probeFinished();
}

QString MainWindow::currentFormat() const
{
    return m_camera ? formatText(m_camera->currentFormat()) : QString();
}

void MainWindow::updateStatus()
{
    const QString format = currentFormat();
    m_formatLabel->setText(QStringLiteral("Format: %1").arg(format.isEmpty() ? "-" : format));
    if (m_camera && m_camera->isStarted())
        m_rateLabel->setText(QStringLiteral("Frames: %1, %2 fps")
                                 .arg(m_meter->frames())
                                 .arg(m_meter->fps(), 0, 'f', 1));
    else
        m_rateLabel->setText(QStringLiteral("Frames: -"));
}

void MainWindow::updateButtons()
{
    const bool started = m_camera && m_camera->isStarted();
    m_startButton->setEnabled(!started && m_list->currentRow() >= 0);
    m_stopButton->setEnabled(started);
    m_videoButton->setEnabled(started);
    m_mode->setEnabled(!started && !m_renderMode);
    m_fullScreenButton->setEnabled(!m_renderMode);
    updateStatus();
}

qint64 MainWindow::shownFrames() const
{
    return m_camera->shownFrameCount();
}
