#ifndef CAMDEVINFO_H
#define CAMDEVINFO_H

#include <QString>

// One attached camera as the device enumeration lists it.
struct CamDevInfo
{
    QString name;  // friendly name
    QString path;  // device path
    int index = 0; // position in the list it came from, from 0
};

#endif
