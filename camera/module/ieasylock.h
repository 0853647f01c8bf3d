#ifndef IEASYLOCK_H
#define IEASYLOCK_H

// A lock that CEasyLock can hold for the length of a scope.
class IEasyLock
{
public:
    virtual ~IEasyLock() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

#endif
