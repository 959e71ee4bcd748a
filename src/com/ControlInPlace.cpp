#include "com/ControlInPlace.h"

void* ControlInPlace::interfaceFor(REFIID iid) {
    if (IsEqualIID(iid, IID_IOleInPlaceObjectWindowless) ||
        IsEqualIID(iid, IID_IOleInPlaceObject) || IsEqualIID(iid, IID_IOleWindow))
        return static_cast<IOleInPlaceObjectWindowless*>(this);
    if (IsEqualIID(iid, IID_IOleInPlaceActiveObject))
        return static_cast<IOleInPlaceActiveObject*>(this);
    return nullptr;
}

// ---- IOleWindow -------------------------------------------------------------------------------

HRESULT ControlInPlace::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    // E_FAIL is the answer of an object without a window of its own.
    *window = nullptr;
    return E_FAIL;
}

HRESULT ControlInPlace::ContextSensitiveHelp(BOOL) {
    // Nothing of the control's changes in help mode.
    return S_OK;
}

// ---- IOleInPlaceObject ------------------------------------------------------------------------

HRESULT ControlInPlace::InPlaceDeactivate() {
    return control_.deactivateInPlace();
}

HRESULT ControlInPlace::UIDeactivate() {
    return control_.deactivateUi();
}

HRESULT ControlInPlace::SetObjectRects(LPCRECT pos, LPCRECT) {
    // Nothing is drawn outside the position rectangle, so the clip rectangle is not needed.
    if (!pos) return E_POINTER;
    control_.setPosition(*pos);
    return S_OK;
}

HRESULT ControlInPlace::ReactivateAndUndo() {
    // The control keeps no undo state.
    return INPLACE_E_NOTUNDOABLE;
}

// ---- IOleInPlaceObjectWindowless --------------------------------------------------------------

HRESULT ControlInPlace::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* result) {
    // S_FALSE: not handled, so the container does its default processing.
    if (result) *result = 0;
    return S_FALSE;
}

HRESULT ControlInPlace::GetDropTarget(IDropTarget** target) {
    if (!target) return E_POINTER;
    *target = nullptr;
    // E_NOTIMPL is how an object says that it takes no drops; the container then handles
    // dragging over it as over its own background.
    return E_NOTIMPL;
}

// ---- IOleInPlaceActiveObject ------------------------------------------------------------------

HRESULT ControlInPlace::TranslateAccelerator(LPMSG) {
    // S_FALSE: the control has no accelerators; the container goes on with the message.
    return S_FALSE;
}

HRESULT ControlInPlace::OnFrameWindowActivate(BOOL) {
    return S_OK;
}

HRESULT ControlInPlace::OnDocWindowActivate(BOOL) {
    return S_OK;
}

HRESULT ControlInPlace::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
    // No tools to place in the border.
    return S_OK;
}

HRESULT ControlInPlace::EnableModeless(BOOL) {
    // The control never shows a dialog box of its own.
    return S_OK;
}
