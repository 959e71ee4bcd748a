#pragma once
// The control active in place: IOleInPlaceObjectWindowless (with IOleInPlaceObject and
// IOleWindow) and IOleInPlaceActiveObject. The control has no window, no menus, no tools and no
// accelerators, and takes no messages: being active only means that the container knows its
// position and may draw it there.
//
// One part of the component object: the IUnknown methods are the object's own (CsvComObject).
#include "com/ControlBase.h"

class ControlInPlace : public IOleInPlaceObjectWindowless, public IOleInPlaceActiveObject {
public:
    explicit ControlInPlace(ControlBase& control) : control_(control) {}
    ControlInPlace(const ControlInPlace&) = delete;
    ControlInPlace& operator=(const ControlInPlace&) = delete;

    // The interface this part answers for iid (IOleInPlaceObjectWindowless, IOleInPlaceObject,
    // IOleWindow, IOleInPlaceActiveObject), or null.
    void* interfaceFor(REFIID iid);

    // IOleWindow, for both interfaces
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;

    // IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;

    // IOleInPlaceObjectWindowless
    HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                              LRESULT* result) override;
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget** target) override;

    // IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                           BOOL frameWindow) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

protected:
    ~ControlInPlace() = default;

private:
    ControlBase& control_;
};
