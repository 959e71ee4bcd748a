#pragma once
// What the component object keeps as an ActiveX control, shared by the parts that implement the
// control interfaces (ControlView, ControlInPlace, ControlOleObject, ControlPersistence,
// ControlQuickActivate, ControlDataObject): the client site, the extent and whether it changed
// since the last save, the advise sinks, and the in-place state.
//
// The control shows a picture at design time and nothing at run time. It activates in place
// without a window of its own: windowless when the site allows it, and otherwise still without a
// window, because an object that is invisible at run time has nothing to show in one.
//
// Not a COM object itself: it holds references (to the site, the sinks, the in-place site and
// frame) but is not counted; the component object owns it by value and releases it with itself.
#include <windows.h>

#include <ocidl.h>

class ControlBase {
public:
    // OLE miscellaneous-status flags of the content aspect (the registry's MiscStatus\1, 132497):
    // recompose on resize, cannot link inside, inside-out, activate when visible, invisible at
    // run time, set client site first.
    static constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                         OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                         OLEMISC_INVISIBLEATRUNTIME | OLEMISC_SETCLIENTSITEFIRST;
    // View status (VIEWSTATUS flags): none. The picture is drawn with the pen and brush of the
    // container's device context, so it is neither known to be opaque nor drawn on a solid
    // background; the container paints what lies below it first.
    static constexpr DWORD kViewStatus = 0;
    // The picture's natural size in HIMETRIC (0.01 mm): a 10 mm square, about 38 pixels at 96
    // dots per inch, with room for "CSV" in the system font. A new object starts with it.
    static constexpr LONG kNaturalWidth = 1000;
    static constexpr LONG kNaturalHeight = 1000;
    static SIZEL naturalExtent() { return SIZEL{kNaturalWidth, kNaturalHeight}; }

    // activeObject: the object's own IOleInPlaceActiveObject, handed to the container's frame
    // while the control is UI-active. Not counted (it is the object that owns this state).
    explicit ControlBase(IOleInPlaceActiveObject* activeObject);
    ~ControlBase();
    ControlBase(const ControlBase&) = delete;
    ControlBase& operator=(const ControlBase&) = delete;

    // ---- client site
    IOleClientSite* site() const { return site_; }
    // Keeps a reference to site (which may be null) and drops the one to the previous site.
    void setSite(IOleClientSite* site);

    // ---- extent (HIMETRIC) and the dirty flag
    SIZEL extent() const { return extent_; }
    // A change from the container or the user: marks the object dirty and tells the view sink,
    // when the size differs from the current one.
    void changeExtent(const SIZEL& size);
    // A fresh or loaded state: sets the size and clears the dirty flag; nobody is notified.
    void resetExtent(const SIZEL& size);
    bool dirty() const { return dirty_; }
    void clearDirty() { dirty_ = false; }

    // ---- advise holders, made on first use; null only when OLE cannot make one. The pointer
    // stays owned by this state (no reference is added).
    IOleAdviseHolder* oleAdviseHolder();
    IDataAdviseHolder* dataAdviseHolder();

    // ---- the view sink of IViewObject::SetAdvise
    void setViewAdvise(DWORD aspects, DWORD advf, IAdviseSink* sink);
    // Each out pointer may be null; *sink gets a new reference.
    void viewAdvise(DWORD* aspects, DWORD* advf, IAdviseSink** sink) const;
    // Tells the view sink that the content aspect's picture changed (when it asked for that
    // aspect); a sink registered with ADVF_ONLYONCE is dropped afterwards.
    void viewChanged();

    // ---- in-place and UI activation
    // Activates in place through via (the site DoVerb names) or, when via is null, the client
    // site; pos, when given, becomes the position rectangle. S_OK when active (or already
    // active); OLEOBJ_S_CANNOT_DOVERB_NOW when the site declines now; E_UNEXPECTED without a
    // site; the site's code when it lacks IOleInPlaceSite or fails the activation call.
    HRESULT activateInPlace(IOleClientSite* via, const RECT* pos);
    // In-place activation, then UI activation: the site and, when the site gives them, the
    // frame and document window learn that this control is the active object.
    HRESULT activateUi(IOleClientSite* via, const RECT* pos);
    // Ends UI activation (nothing to do when not UI-active); always S_OK.
    HRESULT deactivateUi();
    // Ends UI and in-place activation and lets go of the in-place site; always S_OK.
    HRESULT deactivateInPlace();
    bool inPlaceActive() const { return inPlaceSite_ != nullptr; }
    bool uiActive() const { return uiActive_; }
    bool windowless() const { return windowless_; }

    // The position rectangle in the container's window (device units), as the container last
    // gave it; false when it never did.
    bool position(RECT* out) const;
    void setPosition(const RECT& pos);

private:
    IOleInPlaceActiveObject* activeObject_;
    IOleClientSite* site_ = nullptr;
    SIZEL extent_;
    bool dirty_ = false;

    IOleAdviseHolder* oleAdvise_ = nullptr;
    IDataAdviseHolder* dataAdvise_ = nullptr;
    IAdviseSink* viewSink_ = nullptr;
    DWORD viewAspects_ = 0;
    DWORD viewAdvf_ = 0;

    IOleInPlaceSite* inPlaceSite_ = nullptr;     // set while in-place active
    IOleInPlaceSiteEx* inPlaceSiteEx_ = nullptr; // the same site's Ex interface, when it has one
    bool windowless_ = false;
    bool uiActive_ = false;
    IOleInPlaceFrame* frame_ = nullptr;       // set while UI-active, when the site gave one
    IOleInPlaceUIWindow* document_ = nullptr; // likewise
    RECT position_ = {0, 0, 0, 0};
    bool hasPosition_ = false;
};
