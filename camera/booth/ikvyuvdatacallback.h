#ifndef IKVYUVDATACALLBACK_H
#define IKVYUVDATACALLBACK_H

// Receiver of the raw camera samples, called on the platform's streaming thread.
class IKvYUVDataCallBack
{
public:
    virtual ~IKvYUVDataCallBack() = default;
    virtual int onYUVData(unsigned char *data, int len) = 0;
};

#endif
