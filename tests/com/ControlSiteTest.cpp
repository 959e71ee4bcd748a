// The control in a container: the client site it keeps and lets go of, its extent through every
// interface that carries it, activation by verb against sites of each kind, Close with and
// without saving, and quick activation.
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
        Ref<IOleClientSite> got;
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(o->SetClientSite(&site), S_OK);
            EXPECT_EQ(site.refs, 2) << "the same site again holds one reference";
        }
        EXPECT_EQ(o->GetClientSite(got.out()), S_OK);
        EXPECT_EQ(got.get(), static_cast<IOleClientSite*>(&site));
        got.reset();
        ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
        EXPECT_EQ(site.refs, 1);
        ASSERT_EQ(o->SetClientSite(&site), S_OK);
    }
    EXPECT_EQ(site.refs, 1) << "released with the object";
}

TEST(ControlSite, ExtentSetThroughOneInterfaceReadsTheSameThroughAll) {
    Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
    Ref<IQuickActivate> qa = query<IQuickActivate>(o.get(), IID_IQuickActivate);
    Ref<IViewObjectEx> v = query<IViewObjectEx>(o.get(), IID_IViewObjectEx);
    const struct {
        bool byOleObject; // else IQuickActivate
        SIZEL size;
    } cases[] = {{true, {2000, 1500}}, {false, {1, 99999}}, {true, {0, 0}}, {false, {2540, 635}}};
    for (auto c : cases) {
        EXPECT_EQ(c.byOleObject ? o->SetExtent(DVASPECT_CONTENT, &c.size)
                                : qa->SetContentExtent(&c.size),
                  S_OK);
        SIZEL a = {}, b = {}, d = {};
        RECTL r = {};
        EXPECT_EQ(o->GetExtent(DVASPECT_CONTENT, &a), S_OK);
        EXPECT_EQ(qa->GetContentExtent(&b), S_OK);
        EXPECT_EQ(v->GetExtent(DVASPECT_CONTENT, -1, nullptr, &d), S_OK);
        EXPECT_EQ(v->GetRect(DVASPECT_CONTENT, &r), S_OK);
        for (const SIZEL& got : {a, b, d, SIZEL{r.right - r.left, r.bottom - r.top}}) {
            EXPECT_EQ(got.cx, c.size.cx);
            EXPECT_EQ(got.cy, c.size.cy);
        }
    }
    SIZEL icon = {5, 5};
    EXPECT_EQ(o->SetExtent(DVASPECT_ICON, &icon), DV_E_DVASPECT);
    EXPECT_EQ(o->GetExtent(DVASPECT_ICON, &icon), DV_E_DVASPECT);
    EXPECT_EQ(o->SetExtent(DVASPECT_CONTENT, nullptr), E_POINTER);
}

// A verb against a site of some kind: what the site is told on DoVerb, and on InPlaceDeactivate.
TEST(ControlSite, ActivationFollowsTheVerbAndWhatTheSiteOffers) {
    const char* const kWindowless =
        "CanInPlaceActivate CanWindowlessActivate OnInPlaceActivateEx(windowless) ";
    const std::string kUi = kWindowless + std::string("RequestUIActivate ");
    const struct {
        const char* what;
        TestSite::Kind kind;
        bool allowInPlace, allowWindowless, allowUi;
        LONG verb;
        HRESULT want;
        std::string activation, deactivation;
    } cases[] = {
        {"windowless", TestSite::Windowless, true, true, true, OLEIVERB_INPLACEACTIVATE, S_OK,
         kWindowless, "OnInPlaceDeactivateEx "},
        {"windowless refused", TestSite::Windowless, true, false, true, OLEIVERB_INPLACEACTIVATE,
         S_OK, "CanInPlaceActivate CanWindowlessActivate OnInPlaceActivateEx(0) ",
         "OnInPlaceDeactivateEx "},
        {"Ex site", TestSite::InPlaceEx, true, true, true, OLEIVERB_SHOW, S_OK,
         "CanInPlaceActivate OnInPlaceActivateEx(0) ", "OnInPlaceDeactivateEx "},
        {"plain site", TestSite::InPlace, true, true, true, OLEIVERB_PRIMARY, S_OK,
         "CanInPlaceActivate OnInPlaceActivate ", "OnInPlaceDeactivate "},
        {"site declining now", TestSite::Windowless, false, true, true, OLEIVERB_INPLACEACTIVATE,
         OLEOBJ_S_CANNOT_DOVERB_NOW, "CanInPlaceActivate ", ""},
        {"client site only", TestSite::ClientOnly, true, true, true, OLEIVERB_INPLACEACTIVATE,
         E_NOINTERFACE, "", ""},
        {"UI activate", TestSite::Windowless, true, true, true, OLEIVERB_UIACTIVATE, S_OK,
         kUi + "OnUIActivate GetWindowContext ", "OnUIDeactivate OnInPlaceDeactivateEx "},
        {"UI refused now", TestSite::Windowless, true, true, false, OLEIVERB_UIACTIVATE,
         OLEOBJ_S_CANNOT_DOVERB_NOW, kUi, "OnInPlaceDeactivateEx "},
        {"unknown positive verb", TestSite::Windowless, true, true, true, 7, OLEOBJ_S_INVALIDVERB,
         kWindowless, "OnInPlaceDeactivateEx "},
        {"open", TestSite::Windowless, true, true, true, OLEIVERB_OPEN, E_NOTIMPL, "", ""},
    };
    for (const auto& c : cases) {
        TestSite site;
        site.kind = c.kind;
        site.allowInPlace = c.allowInPlace;
        site.allowWindowless = c.allowWindowless;
        site.allowUi = c.allowUi;
        {
            Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
            ASSERT_EQ(o->SetClientSite(&site), S_OK);
            EXPECT_EQ(o->DoVerb(c.verb, nullptr, nullptr, -1, nullptr, nullptr), c.want) << c.what;
            EXPECT_EQ(site.log, c.activation) << c.what;
            if (c.want == S_OK) {
                EXPECT_EQ(o->DoVerb(c.verb, nullptr, nullptr, -1, nullptr, nullptr), S_OK);
                EXPECT_EQ(site.log, c.activation) << c.what << ": already active";
            }
            site.log.clear();
            Ref<IOleInPlaceObject> ip = query<IOleInPlaceObject>(o.get(), IID_IOleInPlaceObject);
            for (int i = 0; i < 2; ++i) {
                EXPECT_EQ(ip->InPlaceDeactivate(), S_OK) << c.what;
                EXPECT_EQ(site.log, c.deactivation) << c.what << ", call " << i;
            }
            EXPECT_EQ(site.refs, 2) << c.what << ": only the client site reference is left";
            ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
        }
        EXPECT_EQ(site.refs, 1) << c.what;
    }
}

TEST(ControlSite, CloseSavesThroughTheSiteOnlyWhenAskedAndDirty) {
    const struct {
        DWORD option;
        bool dirty, saves;
    } cases[] = {{OLECLOSE_SAVEIFDIRTY, true, true},
                 {OLECLOSE_SAVEIFDIRTY, false, false},
                 {OLECLOSE_PROMPTSAVE, true, true},
                 {OLECLOSE_NOSAVE, true, false}};
    for (const auto& c : cases) {
        TestSite site;
        TestSink sink;
        {
            Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
            ASSERT_EQ(o->SetClientSite(&site), S_OK);
            DWORD cookie = 0;
            ASSERT_EQ(o->Advise(&sink, &cookie), S_OK);
            SIZEL s = {4444, 3333};
            if (c.dirty) o->SetExtent(DVASPECT_CONTENT, &s);
            EXPECT_EQ(o->Close(c.option), S_OK) << c.option;
            EXPECT_EQ(site.log, c.saves ? "SaveObject " : "") << c.option << " " << c.dirty;
            EXPECT_EQ(sink.closes, 1);
            query<IPersistStorage>(o.get(), IID_IPersistStorage)->SaveCompleted(nullptr);
            EXPECT_EQ(sink.saves, 1) << "a finished save is announced";
            EXPECT_EQ(o->Unadvise(cookie), S_OK);
            EXPECT_EQ(o->Close(c.option), S_OK);
            EXPECT_EQ(sink.closes, 1) << "no longer advised";
            ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
        }
        EXPECT_EQ(sink.refs, 1);
        EXPECT_EQ(site.refs, 1);
    }
}

TEST(ControlSite, QuickActivateSetsTheSiteAndSinkAndStaysInsideTheSizesGiven) {
    const ULONG containerMin = offsetof(QACONTAINER, pAdviseSink) + sizeof(void*);
    const ULONG controlMin = offsetof(QACONTROL, dwViewStatus) + sizeof(DWORD);
    const struct {
        ULONG containerSize, controlSize;
        HRESULT want;
    } cases[] = {{sizeof(QACONTAINER), sizeof(QACONTROL), S_OK},
                 {containerMin, controlMin, S_OK},
                 {containerMin - 4, sizeof(QACONTROL), E_UNEXPECTED},
                 {sizeof(QACONTAINER), controlMin - 4, E_UNEXPECTED}};
    for (const auto& c : cases) {
        TestSite site;
        TestSink sink;
        {
            Ref<IQuickActivate> qa = newControl<IQuickActivate>(IID_IQuickActivate);
            QACONTAINER container = {};
            container.cbSize = c.containerSize;
            container.pClientSite = &site;
            container.pAdviseSink = &sink;
            // The control block lies in a larger buffer; nothing past its size may change.
            unsigned char buffer[sizeof(QACONTROL) + 16];
            std::memset(buffer, 0xAB, sizeof buffer);
            QACONTROL* control = reinterpret_cast<QACONTROL*>(buffer);
            control->cbSize = c.controlSize;
            EXPECT_EQ(qa->QuickActivate(&container, control), c.want) << c.controlSize;
            for (size_t i = c.controlSize; i < sizeof buffer; ++i)
                EXPECT_EQ(buffer[i], 0xAB) << c.controlSize << ": byte " << i << " written";
            Ref<IOleObject> o = query<IOleObject>(qa.get(), IID_IOleObject);
            if (c.want == S_OK) {
                EXPECT_EQ(control->dwMiscStatus, DWORD(132497));
                EXPECT_EQ(control->dwViewStatus, 0u);
                EXPECT_EQ(site.refs, 2) << "the site is set";
                SIZEL s = {1111, 2222};
                EXPECT_EQ(qa->SetContentExtent(&s), S_OK);
                EXPECT_EQ(sink.viewChanges, 1) << "the sink is the view sink";
                EXPECT_EQ(o->Close(OLECLOSE_NOSAVE), S_OK);
                EXPECT_EQ(sink.closes, 1) << "and the object's advise sink";
            }
            ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
        }
        EXPECT_EQ(site.refs, 1);
        EXPECT_EQ(sink.refs, 1);
    }
}

} // namespace
