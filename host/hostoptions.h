#ifndef HOSTOPTIONS_H
#define HOSTOPTIONS_H

#include <QString>
#include <QStringList>

// What the command line asked for.
struct HostOptions
{
    bool scaleGiven = false;
    double scale = 1.0;
    QString language;       // "en" or "zh_CN"; empty: from the system locale
    bool noVirtual = false; // do not define the built-in virtual camera
    bool renderWidget = false;
    QString screenshotFile; // headless mode when not empty
    int frames = 30;
    int timeoutSeconds = 20;
    bool showHelp = false;
};

// Parses argv (without running the application). On failure returns false and
// sets error to a message naming the bad option or value.
bool parseHostOptions(const QStringList &arguments, HostOptions &options, QString &error);

// The --help text.
QString hostUsage();

// The language to use when --lang is not given: zh_CN for a Chinese system
// locale, English otherwise.
QString defaultLanguage(const QString &localeName);

// The "scalefactor" to use when --scale is not given, in physical pixels per
// design pixel: the factor the user asked Qt for with QT_SCALE_FACTOR, else 1.
// Not the device pixel ratio: Qt 6 puts the screen's DPI into that ratio and
// Qt 5 does not, and the libraries undo the ratio themselves.
double defaultScaleFactor(const QString &qtScaleFactor);

#endif
