#include "kvbooth.h"

KvBooth::KvBooth(QObject *parent) : QObject(parent) {}

IKvBooth *createBooth() { return new KvBooth(nullptr); }
