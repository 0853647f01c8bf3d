#include "dsevent.h"

#include "kvbooth.h"

void DsEvent::run()
{
    if (booth)
        booth->runDsEvent();
}
