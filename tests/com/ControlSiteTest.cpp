// The control in a container: the client site it keeps and lets go of, its extent through every
// interface that carries it, in-place and UI activation against sites of each kind, the verbs,
// Close with and without saving, quick activation, and the advise connections of IOleObject and
// IDataObject.
#include "ControlTestSupport.h"

#include <gtest/gtest.h>

#include <olectl.h>

#include <cstddef>
#include <cstring>

using namespace comtest;

namespace {

TEST(ControlSite, ClientSiteIsKeptUntilTakenBackOrTheObjectGoes) {
    TestSite site;
    {
        Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
        ASSERT_TRUE(o.get());
        Ref<IOleClientSite> got;
        EXPECT_EQ(o->GetClientSite(got.out()), S_OK);
        EXPECT_EQ(got.get(), nullptr) << "no site yet";

        ASSERT_EQ(o->SetClientSite(&site), S_OK);
        EXPECT_EQ(site.refs, 2);
        EXPECT_EQ(o->GetClientSite(got.out()), S_OK);
        EXPECT_EQ(got.get(), static_cast<IOleClientSite*>(&site));
        got.reset();
        ASSERT_EQ(o->SetClientSite(&site), S_OK);
        EXPECT_EQ(site.refs, 2) << "the same site again holds one reference";
        ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
        EXPECT_EQ(site.refs, 1);

        ASSERT_EQ(o->SetClientSite(&site), S_OK);
        EXPECT_EQ(o->SetHostNames(L"Container", L"Document"), S_OK);
        EXPECT_EQ(o->GetClientSite(nullptr), E_POINTER);
    }
    EXPECT_EQ(site.refs, 1) << "released with the object";
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK);
}

TEST(ControlSite, ExtentSetThroughOneInterfaceReadsTheSameThroughAll) {
    Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
    Ref<IQuickActivate> qa = query<IQuickActivate>(o.get(), IID_IQuickActivate);
    Ref<IViewObjectEx> v = query<IViewObjectEx>(o.get(), IID_IViewObjectEx);
    enum Setter { ByOleObject, ByQuickActivate };
    const struct {
        Setter by;
        SIZEL size;
    } cases[] = {{ByOleObject, {2000, 1500}},
                 {ByQuickActivate, {1, 99999}},
                 {ByOleObject, {0, 0}},
                 {ByQuickActivate, {2540, 2540}}};
    for (const auto& c : cases) {
        SIZEL in = c.size;
        EXPECT_EQ(c.by == ByOleObject ? o->SetExtent(DVASPECT_CONTENT, &in)
                                      : qa->SetContentExtent(&in),
                  S_OK);
        SIZEL a = {}, b = {}, d = {};
        RECTL r = {};
        EXPECT_EQ(o->GetExtent(DVASPECT_CONTENT, &a), S_OK);
        EXPECT_EQ(qa->GetContentExtent(&b), S_OK);
        EXPECT_EQ(v->GetExtent(DVASPECT_CONTENT, -1, nullptr, &d), S_OK);
        EXPECT_EQ(v->GetRect(DVASPECT_CONTENT, &r), S_OK);
        const LONG cx[] = {a.cx, b.cx, d.cx, r.right - r.left};
        const LONG cy[] = {a.cy, b.cy, d.cy, r.bottom - r.top};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(cx[i], c.size.cx) << "reader " << i;
            EXPECT_EQ(cy[i], c.size.cy) << "reader " << i;
        }
    }
    SIZEL before = {}, icon = {5, 5};
    o->GetExtent(DVASPECT_CONTENT, &before);
    EXPECT_EQ(o->SetExtent(DVASPECT_ICON, &icon), DV_E_DVASPECT);
    EXPECT_EQ(o->GetExtent(DVASPECT_ICON, &icon), DV_E_DVASPECT);
    SIZEL after = {};
    o->GetExtent(DVASPECT_CONTENT, &after);
    EXPECT_EQ(after.cx, before.cx);
    EXPECT_EQ(o->SetExtent(DVASPECT_CONTENT, nullptr), E_POINTER);
    EXPECT_EQ(qa->SetContentExtent(nullptr), E_POINTER);
}

// In-place activation through DoVerb, then deactivation, against each kind of site.
TEST(ControlSite, InPlaceActivationFollowsWhatTheSiteOffers) {
    const struct {
        const char* what;
        TestSite::Kind kind;
        bool allowInPlace, allowWindowless;
        HRESULT want;
        const char* activation;   // the site's log after DoVerb
        const char* deactivation; // what InPlaceDeactivate adds
    } cases[] = {
        {"windowless site", TestSite::Windowless, true, true, S_OK,
         "CanInPlaceActivate CanWindowlessActivate OnInPlaceActivateEx(windowless) ",
         "OnInPlaceDeactivateEx "},
        {"windowless site refusing windowless", TestSite::Windowless, true, false, S_OK,
         "CanInPlaceActivate CanWindowlessActivate OnInPlaceActivateEx(0) ",
         "OnInPlaceDeactivateEx "},
        {"Ex site", TestSite::InPlaceEx, true, true, S_OK,
         "CanInPlaceActivate OnInPlaceActivateEx(0) ", "OnInPlaceDeactivateEx "},
        {"plain in-place site", TestSite::InPlace, true, true, S_OK,
         "CanInPlaceActivate OnInPlaceActivate ", "OnInPlaceDeactivate "},
        {"site declining now", TestSite::Windowless, false, true, OLEOBJ_S_CANNOT_DOVERB_NOW,
         "CanInPlaceActivate ", ""},
        {"client site only", TestSite::ClientOnly, true, true, E_NOINTERFACE, "", ""},
    };
    for (const auto& c : cases) {
        TestSite site;
        site.kind = c.kind;
        site.allowInPlace = c.allowInPlace;
        site.allowWindowless = c.allowWindowless;
        {
            Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
            ASSERT_EQ(o->SetClientSite(&site), S_OK);
            EXPECT_EQ(o->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, -1, nullptr, nullptr),
                      c.want)
                << c.what;
            EXPECT_EQ(site.log, c.activation) << c.what;
            EXPECT_EQ(o->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, -1, nullptr, nullptr),
                      c.want)
                << c.what << " again";
            if (c.want == S_OK) {
                EXPECT_EQ(site.log, c.activation) << c.what << ": already active";
            }
            site.log.clear();

            Ref<IOleInPlaceObject> ip = query<IOleInPlaceObject>(o.get(), IID_IOleInPlaceObject);
            HWND w = reinterpret_cast<HWND>(uintptr_t(1));
            EXPECT_EQ(ip->GetWindow(&w), E_FAIL) << c.what;
            EXPECT_EQ(w, nullptr) << c.what;
            EXPECT_EQ(ip->InPlaceDeactivate(), S_OK) << c.what;
            EXPECT_EQ(site.log, c.deactivation) << c.what;
            EXPECT_EQ(ip->InPlaceDeactivate(), S_OK) << c.what << " again";
            EXPECT_EQ(site.log, c.deactivation) << c.what << ": nothing more to end";
            EXPECT_EQ(site.refs, 2) << c.what << ": only the client site reference is left";
            ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
        }
        EXPECT_EQ(site.refs, 1) << c.what;
    }
}

TEST(ControlSite, VerbsOnAWindowlessSite) {
    const struct {
        const char* what;
        LONG verb;
        HRESULT want;
        const char* log;
    } cases[] = {
        {"primary", OLEIVERB_PRIMARY, S_OK,
         "CanInPlaceActivate CanWindowlessActivate OnInPlaceActivateEx(windowless) "},
        {"show", OLEIVERB_SHOW, S_OK,
         "CanInPlaceActivate CanWindowlessActivate OnInPlaceActivateEx(windowless) "},
        {"UI activate", OLEIVERB_UIACTIVATE, S_OK,
         "CanInPlaceActivate CanWindowlessActivate OnInPlaceActivateEx(windowless) "
         "RequestUIActivate OnUIActivate GetWindowContext "},
        {"unknown positive verb runs as primary", 7, OLEOBJ_S_INVALIDVERB,
         "CanInPlaceActivate CanWindowlessActivate OnInPlaceActivateEx(windowless) "},
        {"hide while inactive", OLEIVERB_HIDE, S_OK, ""},
        {"discard undo state", OLEIVERB_DISCARDUNDOSTATE, S_OK, ""},
        {"open", OLEIVERB_OPEN, E_NOTIMPL, ""},
        {"properties", OLEIVERB_PROPERTIES, E_NOTIMPL, ""},
        {"unknown negative verb", -99, E_NOTIMPL, ""},
    };
    for (const auto& c : cases) {
        TestSite site;
        {
            Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
            ASSERT_EQ(o->SetClientSite(&site), S_OK);
            EXPECT_EQ(o->DoVerb(c.verb, nullptr, &site, -1, nullptr, nullptr), c.want) << c.what;
            EXPECT_EQ(site.log, c.log) << c.what;
            EXPECT_EQ(o->Close(OLECLOSE_NOSAVE), S_OK);
            ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
        }
        EXPECT_EQ(site.refs, 1) << c.what;
    }
}

TEST(ControlSite, UiActivationNamesTheControlToTheFrameAndEndsInOrder) {
    TestFrame frame;
    TestSite site;
    site.frame = &frame;
    {
        Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
        ASSERT_EQ(o->SetClientSite(&site), S_OK);
        ASSERT_EQ(o->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, -1, nullptr, nullptr), S_OK);
        EXPECT_EQ(frame.log, "SetActiveObject(object) ");
        ASSERT_TRUE(frame.active);
        EXPECT_EQ(query<IUnknown>(frame.active, IID_IUnknown).get(),
                  query<IUnknown>(o.get(), IID_IUnknown).get())
            << "the frame was given this control";
        EXPECT_EQ(o->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, -1, nullptr, nullptr), S_OK);
        EXPECT_EQ(frame.log, "SetActiveObject(object) ") << "already UI-active";

        // Deactivating in place ends the UI activation first.
        site.log.clear();
        Ref<IOleInPlaceObject> ip = query<IOleInPlaceObject>(o.get(), IID_IOleInPlaceObject);
        EXPECT_EQ(ip->InPlaceDeactivate(), S_OK);
        EXPECT_EQ(site.log, "OnUIDeactivate OnInPlaceDeactivateEx ");
        EXPECT_EQ(frame.log, "SetActiveObject(object) SetActiveObject(null) ");
        EXPECT_EQ(frame.active, nullptr);
        EXPECT_EQ(frame.refs, 1) << "the frame is let go";

        // Hide ends only the UI activation.
        ASSERT_EQ(o->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, -1, nullptr, nullptr), S_OK);
        site.log.clear();
        EXPECT_EQ(o->DoVerb(OLEIVERB_HIDE, nullptr, nullptr, -1, nullptr, nullptr), S_OK);
        EXPECT_EQ(site.log, "OnUIDeactivate ");
        EXPECT_EQ(ip->UIDeactivate(), S_OK);
        EXPECT_EQ(site.log, "OnUIDeactivate ") << "not UI-active any more";
        EXPECT_EQ(o->Close(OLECLOSE_NOSAVE), S_OK);
        EXPECT_EQ(site.log, "OnUIDeactivate OnInPlaceDeactivateEx ") << "Close deactivates";
        ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
    }
    EXPECT_EQ(site.refs, 1);
    EXPECT_EQ(frame.refs, 1);

    // A site that does not let the control take the focus now.
    TestSite shy;
    shy.allowUi = false;
    {
        Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
        ASSERT_EQ(o->SetClientSite(&shy), S_OK);
        EXPECT_EQ(o->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, -1, nullptr, nullptr),
                  OLEOBJ_S_CANNOT_DOVERB_NOW);
        EXPECT_EQ(shy.log, "CanInPlaceActivate CanWindowlessActivate "
                           "OnInPlaceActivateEx(windowless) RequestUIActivate ");
        EXPECT_EQ(o->Close(OLECLOSE_NOSAVE), S_OK);
        ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
    }
    EXPECT_EQ(shy.refs, 1);
}

TEST(ControlSite, CloseSavesThroughTheSiteOnlyWhenAskedAndDirty) {
    const struct {
        const char* what;
        DWORD option;
        bool dirty;
        bool saves;
    } cases[] = {
        {"save if dirty, dirty", OLECLOSE_SAVEIFDIRTY, true, true},
        {"save if dirty, clean", OLECLOSE_SAVEIFDIRTY, false, false},
        {"prompt, dirty", OLECLOSE_PROMPTSAVE, true, true},
        {"prompt, clean", OLECLOSE_PROMPTSAVE, false, false},
        {"no save, dirty", OLECLOSE_NOSAVE, true, false},
    };
    for (const auto& c : cases) {
        TestSite site;
        TestSink sink;
        {
            Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
            ASSERT_EQ(o->SetClientSite(&site), S_OK);
            DWORD cookie = 0;
            ASSERT_EQ(o->Advise(&sink, &cookie), S_OK);
            EXPECT_NE(cookie, 0u);
            if (c.dirty) {
                SIZEL s = {4444, 3333};
                o->SetExtent(DVASPECT_CONTENT, &s);
            }
            EXPECT_EQ(o->Close(c.option), S_OK) << c.what;
            EXPECT_EQ(site.log, c.saves ? "SaveObject " : "") << c.what;
            EXPECT_EQ(sink.closes, 1) << c.what;
            EXPECT_EQ(query<IPersistStorage>(o.get(), IID_IPersistStorage)->SaveCompleted(nullptr),
                      S_OK);
            EXPECT_EQ(sink.saves, 1) << c.what << ": a finished save is announced";
            EXPECT_EQ(o->Unadvise(cookie), S_OK) << c.what;
            EXPECT_EQ(o->Unadvise(cookie), OLE_E_NOCONNECTION) << c.what;
            EXPECT_EQ(o->Close(c.option), S_OK) << c.what;
            EXPECT_EQ(sink.closes, 1) << c.what << ": unadvised";
            ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
        }
        EXPECT_EQ(sink.refs, 1) << c.what;
        EXPECT_EQ(site.refs, 1) << c.what;
    }
}

TEST(ControlSite, QuickActivateSetsTheSiteAndSinkAndReportsTheStatus) {
    TestSite site;
    TestSink sink;
    {
        Ref<IQuickActivate> qa = newControl<IQuickActivate>(IID_IQuickActivate);
        QACONTAINER container = {};
        container.cbSize = sizeof container;
        container.pClientSite = &site;
        container.pAdviseSink = &sink;
        QACONTROL control;
        std::memset(&control, 0xAB, sizeof control);
        control.cbSize = sizeof control;
        ASSERT_EQ(qa->QuickActivate(&container, &control), S_OK);

        Ref<IOleObject> o = query<IOleObject>(qa.get(), IID_IOleObject);
        DWORD misc = 0, view = 0;
        o->GetMiscStatus(DVASPECT_CONTENT, &misc);
        query<IViewObjectEx>(qa.get(), IID_IViewObjectEx)->GetViewStatus(&view);
        EXPECT_EQ(control.dwMiscStatus, DWORD(132497));
        EXPECT_EQ(control.dwMiscStatus, misc);
        EXPECT_EQ(control.dwViewStatus, view);
        EXPECT_EQ(control.dwEventCookie, 0u) << "no events";
        EXPECT_EQ(control.dwPropNotifyCookie, 0u) << "no property notifications";
        EXPECT_EQ(control.dwPointerActivationPolicy, 0u);

        Ref<IOleClientSite> got;
        EXPECT_EQ(o->GetClientSite(got.out()), S_OK);
        EXPECT_EQ(got.get(), static_cast<IOleClientSite*>(&site));
        got.reset();
        // The one sink serves as the view sink and the object's advise sink.
        SIZEL s = {1111, 2222};
        EXPECT_EQ(qa->SetContentExtent(&s), S_OK);
        EXPECT_EQ(sink.viewChanges, 1);
        EXPECT_EQ(o->Close(OLECLOSE_NOSAVE), S_OK);
        EXPECT_EQ(sink.closes, 1);
        ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
    }
    EXPECT_EQ(site.refs, 1);
    EXPECT_EQ(sink.refs, 1);
}

TEST(ControlSite, QuickActivateStaysInsideTheSizesItIsGiven) {
    const ULONG containerMin = offsetof(QACONTAINER, pAdviseSink) + sizeof(void*);
    const ULONG controlMin = offsetof(QACONTROL, dwViewStatus) + sizeof(DWORD);
    const struct {
        const char* what;
        ULONG containerSize, controlSize;
        HRESULT want;
    } cases[] = {
        {"full sizes", sizeof(QACONTAINER), sizeof(QACONTROL), S_OK},
        {"shortest usable", containerMin, controlMin, S_OK},
        {"control without the cookies", sizeof(QACONTAINER), controlMin + 4, S_OK},
        {"container too short", containerMin - 4, sizeof(QACONTROL), E_UNEXPECTED},
        {"control too short", sizeof(QACONTAINER), controlMin - 4, E_UNEXPECTED},
    };
    for (const auto& c : cases) {
        Ref<IQuickActivate> qa = newControl<IQuickActivate>(IID_IQuickActivate);
        QACONTAINER container = {};
        container.cbSize = c.containerSize;
        // The control block sits in a larger buffer; nothing past its size may change.
        unsigned char buffer[sizeof(QACONTROL) + 16];
        std::memset(buffer, 0xAB, sizeof buffer);
        QACONTROL* control = reinterpret_cast<QACONTROL*>(buffer);
        control->cbSize = c.controlSize;
        EXPECT_EQ(qa->QuickActivate(&container, control), c.want) << c.what;
        for (size_t i = c.controlSize; i < sizeof buffer; ++i)
            EXPECT_EQ(buffer[i], 0xAB) << c.what << ": byte " << i << " written";
        if (c.want == S_OK) {
            EXPECT_EQ(control->dwMiscStatus, DWORD(132497)) << c.what;
        }
    }
    Ref<IQuickActivate> qa = newControl<IQuickActivate>(IID_IQuickActivate);
    QACONTROL control = {};
    control.cbSize = sizeof control;
    EXPECT_EQ(qa->QuickActivate(nullptr, &control), E_POINTER);
}

TEST(ControlSite, NoPropertyPagesNoDataAndADataAdviseConnection) {
    Ref<ISpecifyPropertyPages> pages = newControl<ISpecifyPropertyPages>(IID_ISpecifyPropertyPages);
    CAUUID list = {99, reinterpret_cast<GUID*>(uintptr_t(1))};
    EXPECT_EQ(pages->GetPages(&list), S_OK);
    EXPECT_EQ(list.cElems, 0u);
    EXPECT_EQ(list.pElems, nullptr);

    TestSink sink;
    {
        Ref<IDataObject> d = query<IDataObject>(pages.get(), IID_IDataObject);
        FORMATETC fmt = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        EXPECT_EQ(d->GetData(&fmt, &medium), DV_E_FORMATETC);
        EXPECT_EQ(d->QueryGetData(&fmt), DV_E_FORMATETC);
        EXPECT_EQ(d->GetDataHere(&fmt, &medium), DV_E_FORMATETC);

        DWORD cookie = 0;
        ASSERT_EQ(d->DAdvise(&fmt, 0, &sink, &cookie), S_OK);
        EXPECT_NE(cookie, 0u);
        EXPECT_EQ(sink.refs, 2);
        EXPECT_EQ(d->DUnadvise(cookie), S_OK);
        EXPECT_EQ(sink.refs, 1);
        EXPECT_EQ(d->DUnadvise(cookie), OLE_E_NOCONNECTION);
        ASSERT_EQ(d->DAdvise(&fmt, 0, &sink, &cookie), S_OK);
    }
    pages.reset();
    EXPECT_EQ(sink.refs, 1) << "released with the object";
    EXPECT_EQ(Dll::get().canUnloadNow(), S_OK);
}

} // namespace
