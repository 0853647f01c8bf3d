// DirectShow: the capture-graph subset used by the capture engine.
#ifndef KV_PLATFORM_DSHOW_H
#define KV_PLATFORM_DSHOW_H

#include "windows.h"

// ---- Class, interface, category, media type and format identifiers -----------------------------

inline constexpr CLSID CLSID_SystemDeviceEnum = {
    0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
inline constexpr CLSID CLSID_VideoInputDeviceCategory = {
    0x860BB310, 0x5D01, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
inline constexpr CLSID CLSID_AudioInputDeviceCategory = {
    0x33D9A762, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
inline constexpr CLSID CLSID_FilterGraph = {
    0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr CLSID CLSID_CaptureGraphBuilder2 = {
    0xBF87B6E1, 0x8C27, 0x11D0, {0xB3, 0xF0, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5}};
inline constexpr CLSID CLSID_SmartTee = {
    0xCC58E280, 0x8AA1, 0x11D1, {0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5}};

inline constexpr IID IID_ICreateDevEnum = {
    0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
inline constexpr IID IID_IPin = {
    0x56A86891, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IEnumPins = {
    0x56A86892, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IEnumFilters = {
    0x56A86893, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IBaseFilter = {
    0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaFilter = {
    0x56A86899, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaSample = {
    0x56A8689A, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IFilterGraph = {
    0x56A8689F, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IGraphBuilder = {
    0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaControl = {
    0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaEvent = {
    0x56A868B6, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_IMediaEventEx = {
    0x56A868C0, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr IID IID_ICaptureGraphBuilder2 = {
    0x93E5A4E0, 0x2D50, 0x11D2, {0xAB, 0xFA, 0x00, 0xA0, 0xC9, 0xC6, 0xE3, 0x8D}};
inline constexpr IID IID_IAMStreamConfig = {
    0xC6E13340, 0x30AC, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
inline constexpr IID IID_IAMVideoCompression = {
    0xC6E13343, 0x30AC, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};
inline constexpr IID IID_IAMVideoProcAmp = {
    0xC6E13360, 0x30AC, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};

inline constexpr GUID PIN_CATEGORY_CAPTURE = {
    0xFB6C4281, 0x0353, 0x11D1, {0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};
inline constexpr GUID PIN_CATEGORY_PREVIEW = {
    0xFB6C4282, 0x0353, 0x11D1, {0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};

inline constexpr GUID MEDIATYPE_Video = {
    0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID MEDIATYPE_Interleaved = {
    0x73766169, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID MEDIASUBTYPE_MJPG = {
    0x47504A4D, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID MEDIASUBTYPE_YUY2 = {
    0x32595559, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID MEDIASUBTYPE_NV12 = {
    0x3231564E, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID MEDIASUBTYPE_I420 = {
    0x30323449, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID MEDIASUBTYPE_RGB24 = {
    0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr GUID FORMAT_VideoInfo = {
    0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr GUID FORMAT_VideoInfo2 = {
    0xF72A76A0, 0xEB0A, 0x11D0, {0xAC, 0xE4, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};

// ---- Result and event codes --------------------------------------------------------------------

inline constexpr HRESULT VFW_S_STATE_INTERMEDIATE = (HRESULT)0x00040237;
inline constexpr HRESULT VFW_S_DUPLICATE_NAME = (HRESULT)0x0004022D;
inline constexpr HRESULT VFW_S_CANT_CUE = (HRESULT)0x00040268;
inline constexpr HRESULT VFW_S_NOPREVIEWPIN = (HRESULT)0x0004027E;
inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = (HRESULT)0x80040200;
inline constexpr HRESULT VFW_E_ALREADY_CONNECTED = (HRESULT)0x80040204;
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = (HRESULT)0x80040207;
inline constexpr HRESULT VFW_E_INVALID_DIRECTION = (HRESULT)0x80040208;
inline constexpr HRESULT VFW_E_NOT_CONNECTED = (HRESULT)0x80040209;
inline constexpr HRESULT VFW_E_NOT_FOUND = (HRESULT)0x80040216;
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = (HRESULT)0x80040217;
inline constexpr HRESULT VFW_E_NOT_STOPPED = (HRESULT)0x80040224;
inline constexpr HRESULT VFW_E_WRONG_STATE = (HRESULT)0x80040227;
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = (HRESULT)0x8004022A;
inline constexpr HRESULT E_PROP_ID_UNSUPPORTED = (HRESULT)0x80070490;
inline constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = (HRESULT)0x80040249;
inline constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = (HRESULT)0x80040251;
inline constexpr HRESULT VFW_E_NOT_IN_GRAPH = (HRESULT)0x8004025F;

#define EC_COMPLETE 0x01
#define EC_USERABORT 0x02
#define EC_ERRORABORT 0x03
#define EC_DEVICE_LOST 0x1F

#define AM_MEDIAEVENT_NONOTIFY 0x01

// ---- Structures --------------------------------------------------------------------------------

#define BI_RGB 0L

struct BITMAPINFOHEADER
{
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct VIDEOINFOHEADER
{
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};

struct VIDEOINFOHEADER2
{
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    union {
        DWORD dwControlFlags;
        DWORD dwReserved1;
    };
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
};

struct AM_MEDIA_TYPE
{
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown *pUnk;
    ULONG cbFormat;
    BYTE *pbFormat;
};

struct VIDEO_STREAM_CONFIG_CAPS
{
    GUID guid;
    ULONG VideoStandard;
    SIZE InputSize;
    SIZE MinCroppingSize;
    SIZE MaxCroppingSize;
    int CropGranularityX;
    int CropGranularityY;
    int CropAlignX;
    int CropAlignY;
    SIZE MinOutputSize;
    SIZE MaxOutputSize;
    int OutputGranularityX;
    int OutputGranularityY;
    int StretchTapsX;
    int StretchTapsY;
    int ShrinkTapsX;
    int ShrinkTapsY;
    LONGLONG MinFrameInterval;
    LONGLONG MaxFrameInterval;
    LONG MinBitsPerSecond;
    LONG MaxBitsPerSecond;
};

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

struct IBaseFilter;
struct IFilterGraph;
struct IGraphBuilder;
struct IPin;
struct IEnumPins;
struct IEnumFilters;
struct IEnumMediaTypes;
struct IReferenceClock;
struct IMediaSample;

struct PIN_INFO
{
    IBaseFilter *pFilter;
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

struct FILTER_INFO
{
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph *pGraph;
};

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
typedef long OAFilterState;
typedef LONG_PTR OAEVENT;
typedef LONG_PTR OAHWND;

enum VideoProcAmpProperty {
    VideoProcAmp_Brightness = 0,
    VideoProcAmp_Contrast = 1,
    VideoProcAmp_Hue = 2,
    VideoProcAmp_Saturation = 3,
    VideoProcAmp_Sharpness = 4,
    VideoProcAmp_Gamma = 5,
    VideoProcAmp_ColorEnable = 6,
    VideoProcAmp_WhiteBalance = 7,
    VideoProcAmp_BacklightCompensation = 8,
    VideoProcAmp_Gain = 9,
};

enum VideoProcAmpFlags { VideoProcAmp_Flags_Auto = 0x0001, VideoProcAmp_Flags_Manual = 0x0002 };

#define CDEF_CLASS_DEFAULT 0x0001
#define CDEF_BYPASS_CLASS_MANAGER 0x0002

// ---- Media type helpers (DirectShow base classes) ----------------------------------------------

// Frees the format block and the pUnk reference, keeping the structure itself.
void FreeMediaType(AM_MEDIA_TYPE &mediaType);
// FreeMediaType, then frees the structure (allocated with CoTaskMemAlloc).
void DeleteMediaType(AM_MEDIA_TYPE *mediaType);
// Deep copy into target (format block duplicated, pUnk referenced); E_OUTOFMEMORY on failure.
HRESULT CopyMediaType(AM_MEDIA_TYPE *target, const AM_MEDIA_TYPE *source);
// A new CoTaskMemAlloc'd deep copy, or null.
AM_MEDIA_TYPE *CreateMediaType(const AM_MEDIA_TYPE *source);

// ---- Interfaces --------------------------------------------------------------------------------

struct ICreateDevEnum : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category,
                                                            IEnumMoniker **enumerator,
                                                            DWORD flags) = 0;
};

struct IPin : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Connect(IPin *receivePin, const AM_MEDIA_TYPE *mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin *connector,
                                                        const AM_MEDIA_TYPE *mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectedTo(IPin **pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE *mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO *info) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION *direction) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryId(LPWSTR *id) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE *mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes **enumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin **pins, ULONG *count) = 0;
    virtual HRESULT STDMETHODCALLTYPE EndOfStream() = 0;
    virtual HRESULT STDMETHODCALLTYPE BeginFlush() = 0;
    virtual HRESULT STDMETHODCALLTYPE EndFlush() = 0;
    virtual HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                 double rate) = 0;
};

struct IEnumPins : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin **pins, ULONG *fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumPins **clone) = 0;
};

struct IPersist : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID *classId) = 0;
};

struct IMediaFilter : public IPersist
{
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(DWORD msTimeout, FILTER_STATE *state) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock *clock) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock **clock) = 0;
};

struct IBaseFilter : public IMediaFilter
{
    virtual HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins **enumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin **pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO *info) = 0;
    virtual HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph *graph, LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR *vendorInfo) = 0;
};

struct IFilterGraph : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter *filter, LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter *filter) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters **enumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR name, IBaseFilter **filter) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConnectDirect(IPin *out, IPin *in,
                                                    const AM_MEDIA_TYPE *mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reconnect(IPin *pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect(IPin *pin) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() = 0;
};

struct IGraphBuilder : public IFilterGraph
{
    virtual HRESULT STDMETHODCALLTYPE Connect(IPin *out, IPin *in) = 0;
    virtual HRESULT STDMETHODCALLTYPE Render(IPin *out) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR file, LPCWSTR playList) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR file, LPCWSTR filterName,
                                                      IBaseFilter **filter) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
    virtual HRESULT STDMETHODCALLTYPE ShouldOperationContinue() = 0;
};

struct IEnumFilters : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, IBaseFilter **filters, ULONG *fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumFilters **clone) = 0;
};

struct ICaptureGraphBuilder2 : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder *graph) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder **graph) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindInterface(const GUID *category, const GUID *type,
                                                    IBaseFilter *filter, REFIID riid,
                                                    void **object) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderStream(const GUID *category, const GUID *type,
                                                   IUnknown *source, IBaseFilter *intermediate,
                                                   IBaseFilter *sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindPin(IUnknown *source, PIN_DIRECTION direction,
                                              const GUID *category, const GUID *type,
                                              BOOL unconnected, int index, IPin **pin) = 0;
};

struct IAMStreamConfig : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE *mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE **mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int *count, int *size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE **mediaType,
                                                    BYTE *caps) = 0;
};

struct IAMVideoCompression : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE put_KeyFrameRate(long keyFrameRate) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_KeyFrameRate(long *keyFrameRate) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_PFramesPerKeyFrame(long frames) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PFramesPerKeyFrame(long *frames) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Quality(double quality) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Quality(double *quality) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_WindowSize(DWORDLONG windowSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_WindowSize(DWORDLONG *windowSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInfo(LPWSTR version, int *versionSize, LPWSTR description,
                                              int *descriptionSize, long *defaultKeyFrameRate,
                                              long *defaultPFramesPerKey, double *defaultQuality,
                                              long *capabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE OverrideKeyFrame(long frameNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE OverrideFrameSize(long frameNumber, long size) = 0;
};

struct IAMVideoProcAmp : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetRange(long property, long *min, long *max,
                                               long *steppingDelta, long *defaultValue,
                                               long *capsFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Set(long property, long value, long flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(long property, long *value, long *flags) = 0;
};

// IDispatch methods are left out: nothing here automates the graph.
struct IMediaControl : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Run() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(LONG msTimeout, OAFilterState *state) = 0;
    virtual HRESULT STDMETHODCALLTYPE StopWhenReady() = 0;
};

struct IMediaEvent : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT *event) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEvent(long *eventCode, LONG_PTR *param1, LONG_PTR *param2,
                                               long msTimeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE WaitForCompletion(long msTimeout, long *eventCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE CancelDefaultHandling(long eventCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(long eventCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeEventParams(long eventCode, LONG_PTR param1,
                                                      LONG_PTR param2) = 0;
};

struct IMediaEventEx : public IMediaEvent
{
    virtual HRESULT STDMETHODCALLTYPE SetNotifyWindow(OAHWND window, long message,
                                                      LONG_PTR instanceData) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNotifyFlags(long noNotifyFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNotifyFlags(long *noNotifyFlags) = 0;
};

struct IMediaSample : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetPointer(BYTE **buffer) = 0;
    virtual long STDMETHODCALLTYPE GetSize() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME *start, REFERENCE_TIME *end) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME *start, REFERENCE_TIME *end) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsSyncPoint() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL syncPoint) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsPreroll() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPreroll(BOOL preroll) = 0;
    virtual long STDMETHODCALLTYPE GetActualDataLength() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetActualDataLength(long length) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE **mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE *mediaType) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsDiscontinuity() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL discontinuity) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG *start, LONGLONG *end) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG *start, LONGLONG *end) = 0;
};

#endif // KV_PLATFORM_DSHOW_H
