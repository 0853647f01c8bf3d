#include "hostoptions.h"

namespace {

bool takeValue(const QStringList &args, int &i, const QString &name, QString &value, QString &error)
{
    const QString arg = args.at(i);
    const int eq = arg.indexOf('=');
    if (eq > 0) {
        value = arg.mid(eq + 1);
        return true;
    }
    if (i + 1 >= args.size()) {
        error = QStringLiteral("option %1 needs a value").arg(name);
        return false;
    }
    value = args.at(++i);
    return true;
}

bool parsePositiveInt(const QString &text, const QString &name, int &out, QString &error)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v <= 0) {
        error = QStringLiteral("%1 must be a whole number above 0, not \"%2\"").arg(name, text);
        return false;
    }
    out = v;
    return true;
}

} // namespace

bool parseHostOptions(const QStringList &arguments, HostOptions &o, QString &error)
{
    bool framesGiven = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        const QString name = arg.section('=', 0, 0);
        QString value;
        if (name == "--help" || name == "-h") {
            o.showHelp = true;
        } else if (name == "--scale") {
            if (!takeValue(arguments, i, name, value, error))
                return false;
            bool ok = false;
            const double s = value.toDouble(&ok);
            if (!ok || !(s > 0.0) || s > 8.0) {
                error = QStringLiteral("--scale must be a number above 0 and at most 8, not \"%1\"")
                            .arg(value);
                return false;
            }
            o.scale = s;
            o.scaleGiven = true;
        } else if (name == "--lang") {
            if (!takeValue(arguments, i, name, value, error))
                return false;
            if (value != "en" && value != "zh_CN") {
                error = QStringLiteral("--lang must be en or zh_CN, not \"%1\"").arg(value);
                return false;
            }
            o.language = value;
        } else if (name == "--no-virtual") {
            o.noVirtual = true;
        } else if (name == "--render-widget") {
            o.renderWidget = true;
        } else if (name == "--screenshot") {
            if (!takeValue(arguments, i, name, value, error))
                return false;
            if (value.isEmpty()) {
                error = QStringLiteral("--screenshot needs a file name");
                return false;
            }
            o.screenshotFile = value;
        } else if (name == "--frames") {
            if (!takeValue(arguments, i, name, value, error) ||
                !parsePositiveInt(value, name, o.frames, error))
                return false;
            framesGiven = true;
        } else if (name == "--timeout") {
            if (!takeValue(arguments, i, name, value, error) ||
                !parsePositiveInt(value, name, o.timeoutSeconds, error))
                return false;
        } else {
            error = QStringLiteral("unknown option \"%1\" (see --help)").arg(arg);
            return false;
        }
    }
    if (framesGiven && o.screenshotFile.isEmpty() && !o.showHelp) {
        error = QStringLiteral("--frames goes with --screenshot");
        return false;
    }
    return true;
}

QString hostUsage()
{
    return QStringLiteral(
        "Usage: kvhost [options]\n"
        "Demo host of the camera, video and chat libraries.\n"
        "\n"
        "  --scale <factor>      display scale, physical pixels per design pixel\n"
        "                        (default: QT_SCALE_FACTOR, else 1)\n"
        "  --lang <en|zh_CN>     chat language (default: from the system locale)\n"
        "  --no-virtual          do not define the built-in virtual camera\n"
        "  --render-widget       show the video in the embedded OpenGL widget\n"
        "                        instead of the camera window\n"
        "  --screenshot <file>   headless: start the first camera, wait for the frames,\n"
        "                        write a PNG of the screen, print a summary and exit\n"
        "  --frames <n>          frames to wait for with --screenshot (default 30)\n"
        "  --timeout <seconds>   time limit of --screenshot (default 20)\n"
        "  --help                this text\n");
}

QString defaultLanguage(const QString &localeName)
{
    return localeName.startsWith(QLatin1String("zh")) ? QStringLiteral("zh_CN")
                                                      : QStringLiteral("en");
}

double defaultScaleFactor(const QString &qtScaleFactor)
{
    bool ok = false;
    const double f = qtScaleFactor.toDouble(&ok);
    return ok && f > 0 && f <= 8 ? f : 1.0;
}
