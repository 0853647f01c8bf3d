#ifndef KVCAMDATA_H
#define KVCAMDATA_H

#include "ikvyuvdatacallback.h"

#include <functional>

// Forwards every raw sample to a function object (the camera module's frame
// delivery). Called on the platform's streaming thread.
class KvCamData : public IKvYUVDataCallBack
{
public:
    using Handler = std::function<int(unsigned char *, int)>;

    explicit KvCamData(Handler handler) : m_handler(std::move(handler)) {}

    int onYUVData(unsigned char *data, int len) override
    {
        if (m_handler)
            m_handler(data, len);
        return 0;
    }

private:
    Handler m_handler;
};

#endif
