#pragma once
// Fast loading by a container: IQuickActivate (the client site, the advise sink and the
// control's status in one call, and the content extent) and ISpecifyPropertyPages (the control
// has no property pages: containers edit its properties in their own browser).
//
// One part of the component object: the IUnknown methods are the object's own (CsvComObject).
#include "com/ControlBase.h"

class ControlQuickActivate : public ISpecifyPropertyPages, public IQuickActivate {
public:
    explicit ControlQuickActivate(ControlBase& control) : control_(control) {}
    ControlQuickActivate(const ControlQuickActivate&) = delete;
    ControlQuickActivate& operator=(const ControlQuickActivate&) = delete;

    // The interface this part answers for iid (ISpecifyPropertyPages, IQuickActivate), or null.
    void* interfaceFor(REFIID iid);

    // ISpecifyPropertyPages
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;

    // IQuickActivate
    HRESULT STDMETHODCALLTYPE QuickActivate(QACONTAINER* container, QACONTROL* control) override;
    HRESULT STDMETHODCALLTYPE SetContentExtent(LPSIZEL size) override;
    HRESULT STDMETHODCALLTYPE GetContentExtent(LPSIZEL size) override;

protected:
    ~ControlQuickActivate() = default;

private:
    ControlBase& control_;
};
