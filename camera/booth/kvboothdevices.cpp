// Camera lists and camera selection of KvBooth.
#include "kvbooth.h"
#include "kvnamepattern.h"
#include "pipewireprovider.h"

#include <QDebug>
#include <QThread>

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>

namespace {

// The text of a string property, empty when the read gave none.
QString variantText(const VARIANT &value)
{
    if (value.vt != VT_BSTR || !value.bstrVal)
        return QString();
    return QString::fromWCharArray(value.bstrVal);
}

// The device enumerator and the video input category: 0, -1 (no device
// enumerator) or -2 (no category enumerator, also when there is no camera).
int openVideoInputs(ICreateDevEnum **devEnum, IEnumMoniker **monikers)
{
    *devEnum = nullptr;
    *monikers = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, reinterpret_cast<void **>(devEnum))) ||
        !*devEnum) {
        *devEnum = nullptr;
        return -1;
    }
    const HRESULT hr =
        (*devEnum)->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers, 0);
    if (hr != S_OK || !*monikers) {
        if (*monikers)
            (*monikers)->Release();
        *monikers = nullptr;
        (*devEnum)->Release();
        *devEnum = nullptr;
        return -2;
    }
    return 0;
}

void closeVideoInputs(ICreateDevEnum *devEnum, IEnumMoniker *monikers)
{
    if (monikers)
        monikers->Release();
    if (devEnum)
        devEnum->Release();
}

IPropertyBag *propertyBag(IMoniker *moniker)
{
    IPropertyBag *bag = nullptr;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                      reinterpret_cast<void **>(&bag))) ||
        !bag)
        return nullptr;
    return bag;
}

// Every usable device in enumeration order: name, path and its list index.
int enumerateCameras(const std::function<void(const QString &, const QString &, int)> &add)
{
    ICreateDevEnum *devEnum = nullptr;
    IEnumMoniker *monikers = nullptr;
    const int opened = openVideoInputs(&devEnum, &monikers);
    if (opened < 0)
        return opened;

    monikers->Reset();
    int i = 0;
    IMoniker *moniker = nullptr;
    ULONG fetched = 0;
    while (monikers->Next(1, &moniker, &fetched) == S_OK && moniker) {
        if (IPropertyBag *bag = propertyBag(moniker)) {
            VARIANT name;
            VariantInit(&name);
            name.vt = VT_BSTR;
            name.bstrVal = nullptr;
            if (bag->Read(L"FriendlyName", &name, nullptr) == S_OK) {
                VARIANT path;
                VariantInit(&path);
                const HRESULT hr = bag->Read(L"DevicePath", &path, nullptr);
                if (SUCCEEDED(hr) && path.vt == VT_BSTR && path.bstrVal) {
                    const QString devicePath = variantText(path);
                    qDebug() << i << "dev_path: " << devicePath;
                    if (!devicePath.isEmpty()) {
                        add(variantText(name), devicePath, i);
                        ++i;
                    }
                }
                VariantClear(&path);
            }
            VariantClear(&name);
            bag->Release();
        }
        moniker->Release();
        moniker = nullptr;
    }
    closeVideoInputs(devEnum, monikers);
    return 0;
}

} // namespace

int KvBooth::getCameraList(QVector<CamDevInfo> &list)
{
    qDebug() << "KvBooth::getCameraList" << buildingGraph << Qt::hex << QThread::currentThreadId();
    if (buildingGraph) {
        list = cameraInfoCache;
        return list.size();
    }
    list.clear();
    const int result = enumerateCameras([&list](const QString &name, const QString &path, int i) {
        CamDevInfo info;
        info.name = name;
        info.path = path;
        info.index = i;
        list.append(info);
    });
    if (result < 0)
        return result;
    cameraInfoCache = list;
    return list.size();
}

int KvBooth::getCameraList(QStringList &names)
{
    qDebug() << "KvBooth::getCameraList" << buildingGraph << Qt::hex << QThread::currentThreadId();
    if (buildingGraph) {
        names = cameraNameCache;
        return names.size();
    }
    names.clear();
    const int result = enumerateCameras(
        [&names](const QString &name, const QString &, int) { names.append(name); });
    if (result < 0)
        return result;
    cameraNameCache = names;
    return names.size();
}

namespace {

// Goes through every video input device, usable or not, counting them, until
// matches() accepts one; hands out that device's moniker with its own reference.
IMoniker *findDevice(const std::function<bool(int counter, IPropertyBag *bag)> &matches)
{
    ICreateDevEnum *devEnum = nullptr;
    IEnumMoniker *monikers = nullptr;
    if (openVideoInputs(&devEnum, &monikers) < 0)
        return nullptr;

    IMoniker *found = nullptr;
    IMoniker *moniker = nullptr;
    ULONG fetched = 0;
    for (int counter = 0; !found && monikers->Next(1, &moniker, &fetched) == S_OK && moniker;
         ++counter) {
        if (IPropertyBag *bag = propertyBag(moniker)) {
            if (matches(counter, bag)) {
                found = moniker;
                found->AddRef();
            }
            bag->Release();
        }
        moniker->Release();
        moniker = nullptr;
    }
    closeVideoInputs(devEnum, monikers);
    return found;
}

} // namespace

IMoniker *KvBooth::findDeviceByPath(const QString &path)
{
    return findDevice([&path](int counter, IPropertyBag *bag) {
        VARIANT name;
        VariantInit(&name);
        name.vt = VT_BSTR;
        name.bstrVal = nullptr;
        bag->Read(L"FriendlyName", &name, nullptr);
        qDebug() << counter << "Dev name: " << variantText(name);
        VARIANT devicePath;
        VariantInit(&devicePath);
        const bool hit = bag->Read(L"DevicePath", &devicePath, nullptr) == S_OK &&
                         variantText(devicePath) == path;
        VariantClear(&devicePath);
        VariantClear(&name);
        return hit;
    });
}

IMoniker *KvBooth::findDeviceByName(const QString &name)
{
    qDebug() << "begin enum-camera-dev: " << name;

    // The name is a pattern; one that is refused, or whose search is refused on
    // some device, finds no device.
    const KvNamePattern pattern(name);
    if (!pattern.isValid())
        return nullptr;
    bool refused = false;
    IMoniker *found = findDevice([&](int counter, IPropertyBag *bag) {
        VARIANT friendly;
        VariantInit(&friendly);
        friendly.vt = VT_BSTR;
        friendly.bstrVal = nullptr;
        bag->Read(L"FriendlyName", &friendly, nullptr);
        VARIANT devicePath;
        VariantInit(&devicePath);
        const HRESULT hr = bag->Read(L"DevicePath", &devicePath, nullptr);
        qDebug() << counter << "dev_path: " << variantText(devicePath);
        bool stop = false;
        if (hr == S_OK) {
            const QString friendlyName = variantText(friendly);
            qDebug() << counter << "Dev name: " << friendlyName;
            const KvNamePattern::Result result =
                pattern.search(friendlyName, variantText(devicePath));
            refused = result == KvNamePattern::Refused;
            stop = result != KvNamePattern::Miss;
        }
        VariantClear(&devicePath);
        VariantClear(&friendly);
        return stop;
    });
    if (found && refused) {
        // An undecided device may have been the first match; taking a later one would be a guess.
        found->Release();
        found = nullptr;
    }
    return found;
}

int KvBooth::bindSelected(IMoniker *moniker)
{
    IBaseFilter *filter = nullptr;
    const HRESULT hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                             reinterpret_cast<void **>(&filter));
    moniker->Release();
    if (FAILED(hr) || !filter) {
        if (filter)
            filter->Release();
        return -3;
    }
    if (graphState == GraphReady || graphState == GraphRunning) {
        // A built graph keeps the camera it was built with; its build step refuses.
        filter->Release();
        return 0;
    }
    if (cameraFilter)
        cameraFilter->Release();
    cameraFilter = filter;
    return 0;
}

int KvBooth::selectCameraByPath(const CamDevInfo &info)
{
    IMoniker *moniker = findDeviceByPath(info.path);
    if (!moniker)
        return -3;
    return bindSelected(moniker);
}

int KvBooth::selectCameraByName(const QString &name)
{
    IMoniker *moniker = findDeviceByName(name);
    if (!moniker)
        return -3;
    // A name longer than the field is cut so that it stays terminated.
    const std::wstring wide = name.toStdWString();
    const size_t count = std::min(wide.size(), std::size(cameraName) - 1);
    std::fill(std::begin(cameraName), std::end(cameraName), WCHAR(0));
    std::copy(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(count), cameraName);
    return bindSelected(moniker);
}

void watchCameraList(std::function<void()> changed)
{
    kvplat::pipeWireProvider().setChangeListener(std::move(changed));
}
