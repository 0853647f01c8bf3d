#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "camdevinfo.h"
#include "democamera.h"

#include <QMainWindow>
#include <QVector>

class CamVideo;
class ChatDemo;
class FrameMeter;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProcess;
class QPushButton;
class QVBoxLayout;

// The demo host's window: cameras and video on the left, the encoder probe
// below them, the chat panel on the right.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // builtInCamera: the demo may define its virtual camera while no other camera is found.
    MainWindow(CamVideo *camera, double scale, bool builtInCamera, bool renderWidget,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    // Starts the camera at this row of the list; 0 or the camera's result.
    int startCameraAt(int row);
    int cameraCount() const { return m_cameras.size(); }
    CamDevInfo cameraAt(int row) const { return m_cameras.value(row); }
    FrameMeter *meter() const { return m_meter; }
    QString currentFormat() const;
    bool probeRunning() const { return m_probe != nullptr; }

signals:
    void probeFinished();

public slots:
    void refreshCameras();
    void runProbe();

private slots:
    void onStart();
    void onStop();
    void onToggleVideo();
    void onModeChanged(int index);
    void onProbeFinished();
    void updateStatus();

private:
    QWidget *buildCameraPanel();

public:
    // The camera's display widget (its window, or the embedded render widget).
    QWidget *videoWidget() const;
    // Frames the camera's display put on screen.
    qint64 shownFrames() const;

private:
    QWidget *buildProbePanel();
    QWidget *buildChatPanel(double scale);
    void embedRenderWidget();
    void applyFullScreenButton();
    void updateButtons();

    CamVideo *m_camera;
    FrameMeter *m_meter;
    ChatDemo *m_chat = nullptr;
    QWidget *m_chatPanel = nullptr;
    QVector<CamDevInfo> m_cameras;
    DemoCamera m_demoCamera;

    QListWidget *m_list = nullptr;
    QPushButton *m_startButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    QPushButton *m_videoButton = nullptr;
    QComboBox *m_mode = nullptr;
    QCheckBox *m_fullScreenButton = nullptr;
    QLabel *m_formatLabel = nullptr;
    QLabel *m_rateLabel = nullptr;
    QLabel *m_messageLabel = nullptr;
    QWidget *m_videoArea = nullptr;
    QVBoxLayout *m_videoLayout = nullptr;
    QVBoxLayout *m_leftColumn = nullptr;
    QWidget *m_cameraBox = nullptr;
    bool m_videoShown = true;
    bool m_renderMode = false;

    QPushButton *m_probeButton = nullptr;
    QPlainTextEdit *m_probeOutput = nullptr;
    QLabel *m_probeMask = nullptr;
    QProcess *m_probe = nullptr;

    QLabel *m_muteLabel = nullptr;
};

#endif
