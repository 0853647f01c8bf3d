#ifndef CCAMGRABBER_H
#define CCAMGRABBER_H

#include <dshow.h>

class IKvYUVDataCallBack;

// Process-wide maker of the sample grabber and null renderer filters for one
// graph build: init, take the two filters, reset.
class CCamGrabber
{
public:
    static CCamGrabber *instance();

    int init(IKvYUVDataCallBack *cb);
    int getGrabberFilter(IBaseFilter **out);
    int getRenderFilter(IBaseFilter **out);
    void reset();

    virtual ~CCamGrabber();

private:
    CCamGrabber() = default;
    CCamGrabber(const CCamGrabber &) = delete;
    CCamGrabber &operator=(const CCamGrabber &) = delete;

    bool initialised = false;
    IBaseFilter *grabberFilter = nullptr;
    IBaseFilter *renderFilter = nullptr;
};

#endif
