#pragma once
// The control's picture for its container: IViewObjectEx (with IViewObject2 and IViewObject).
// The picture is a rectangle over the bounds the container gives, with the text "CSV" centred
// on the midpoint, drawn with whatever pen, brush, font and colours the device context holds.
// Containers show it at design time only: the control is invisible at run time.
//
// One part of the component object: the IUnknown methods are the object's own (CsvComObject).
#include "com/ControlBase.h"

class ControlView : public IViewObjectEx {
public:
    explicit ControlView(ControlBase& control) : control_(control) {}
    ControlView(const ControlView&) = delete;
    ControlView& operator=(const ControlView&) = delete;

    // The interface this part answers for iid (IViewObjectEx, IViewObject2, IViewObject), or
    // null.
    void* interfaceFor(REFIID iid);

    // Draws the picture into dc over bounds; leaves the device context's text alignment as it
    // found it.
    static void drawPicture(HDC dc, const RECTL& bounds);

    // IViewObject
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG lindex, void* aspectInfo,
                                   DVTARGETDEVICE* target, HDC targetDc, HDC dc, LPCRECTL bounds,
                                   LPCRECTL metafileBounds,
                                   BOOL(STDMETHODCALLTYPE* keepGoing)(ULONG_PTR),
                                   ULONG_PTR keepGoingArg) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG lindex, void* aspectInfo,
                                          DVTARGETDEVICE* target, HDC targetIc,
                                          LOGPALETTE** colors) override;
    HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG lindex, void* aspectInfo,
                                     DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) override;

    // IViewObject2
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG lindex, DVTARGETDEVICE* target,
                                        LPSIZEL size) override;

    // IViewObjectEx
    HRESULT STDMETHODCALLTYPE GetRect(DWORD aspect, LPRECTL rect) override;
    HRESULT STDMETHODCALLTYPE GetViewStatus(DWORD* status) override;
    HRESULT STDMETHODCALLTYPE QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT where,
                                            LONG closeHint, DWORD* result) override;
    HRESULT STDMETHODCALLTYPE QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT where,
                                           LONG closeHint, DWORD* result) override;
    HRESULT STDMETHODCALLTYPE GetNaturalExtent(DWORD aspect, LONG lindex, DVTARGETDEVICE* target,
                                               HDC targetIc, DVEXTENTINFO* info,
                                               LPSIZEL size) override;

protected:
    ~ControlView() = default;

private:
    ControlBase& control_;
};
