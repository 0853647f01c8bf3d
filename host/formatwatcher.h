#ifndef FORMATWATCHER_H
#define FORMATWATCHER_H

#include <QObject>
#include <QString>

// Learns the negotiated capture format from the camera library's debug log,
// the only place the library reports it to a host. Everything logged still
// reaches the previous message handler.
class FormatWatcher : public QObject
{
    Q_OBJECT
public:
    explicit FormatWatcher(QObject *parent = nullptr);
    ~FormatWatcher() override;

    // "MJPG 1280x720", or empty before the first report.
    QString format() const;

    // Parses one log line; true and the format text when it is a format report.
    static bool parseFormatLine(const QString &line, QString &format);

signals:
    void formatChanged(const QString &format);

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &msg);
    void take(const QString &format);

    QString m_format;
};

#endif
