// The control as a container meets it: its interface table and aggregation, the client site,
// activation by verb against sites of each kind, Close and quick activation, the extent through
// every interface that carries it, the design-time picture, and the persisted extent.
#include "ComTestSupport.h"

#include <olectl.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <tuple>

using namespace comtest;

namespace {

// The control's interfaces (in the order it looks them up) answer with one identity, counting on
// the outer object when aggregated; no other interface answers.
TEST(Control, InterfacesOneIdentityAndAggregation) {
    Outer outer;
    Ref<IUnknown> identity = query<IUnknown>(newCsv().get(), IID_IUnknown), inner;
    Ref<IClassFactory> f;
    ASSERT_EQ(Dll::get().getClassObject(CLSID_QuenlixCsv, IID_IClassFactory, f.outVoid()), S_OK);
    ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, inner.outVoid()), S_OK);
    int i = 0; // the interface's place in the list, for the messages
    for (const IID* iid :
         {&IID_IQuenlixCsv, &IID_IDispatch, &IID_IViewObjectEx, &IID_IViewObject2, &IID_IViewObject,
          &IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceObject, &IID_IOleWindow,
          &IID_IOleInPlaceActiveObject, &IID_IOleControl, &IID_IOleObject, &IID_IPersistStreamInit,
          &IID_IPersist, &IID_ISpecifyPropertyPages, &IID_IQuickActivate, &IID_IPersistStorage,
          &IID_IDataObject, &IID_IProvideClassInfo, &IID_IProvideClassInfo2}) {
        ++i;
        Ref<IUnknown> p = query<IUnknown>(identity.get(), *iid);
        EXPECT_EQ(query<IUnknown>(p.get(), IID_IUnknown).get(), identity.get()) << i;
        EXPECT_EQ(query<IUnknown>(p.get(), *iid).get(), p.get()) << i << " from itself";
        Ref<IUnknown> q;
        ASSERT_EQ(inner->QueryInterface(*iid, q.outVoid()), S_OK) << i;
        EXPECT_EQ(outer.refs, 2) << i;
        void* other = nullptr;
        q->QueryInterface(IID_IUnknown, &other);
        EXPECT_EQ(std::exchange(outer.queries, 0), 1) << i << " asks the outer object";
        q.reset();
        EXPECT_EQ(outer.refs, 1) << i;
    }
    for (const IID* iid : {&IID_IPersistPropertyBag, &IID_IConnectionPointContainer, &IID_IOleCache,
                           &IID_IPersistFile, &IID_IClassFactory}) {
        void* p = reinterpret_cast<void*>(uintptr_t(0x1234));
        EXPECT_EQ(identity->QueryInterface(*iid, &p), E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
    }
}

// A verb against a site of some kind: what the site is told on DoVerb, then on InPlaceDeactivate
// (twice: the second finds nothing to do); the client site is let go of with the object.
TEST(Control, ActivationFollowsTheVerbAndWhatTheSiteOffers) {
    const std::string kWl = "CanInPlaceActivate CanWindowlessActivate ActivateEx(windowless) ",
                      kUi = kWl + "RequestUIActivate ";
    const struct {
        TestSite::Kind kind;
        bool allowInPlace, allowWindowless, allowUi;
        LONG verb;
        HRESULT want;
        std::string activation, deactivation;
    } cases[] = {
        {TestSite::Windowless, 1, 1, 1, OLEIVERB_INPLACEACTIVATE, S_OK, kWl, "DeactivateEx "},
        {TestSite::Windowless, 1, 0, 1, OLEIVERB_INPLACEACTIVATE, S_OK,
         "CanInPlaceActivate CanWindowlessActivate ActivateEx(0) ", "DeactivateEx "},
        {TestSite::InPlaceEx, 1, 1, 1, OLEIVERB_SHOW, S_OK, "CanInPlaceActivate ActivateEx(0) ",
         "DeactivateEx "},
        {TestSite::InPlace, 1, 1, 1, OLEIVERB_PRIMARY, S_OK,
         "CanInPlaceActivate OnInPlaceActivate ", "OnInPlaceDeactivate "},
        {TestSite::Windowless, 0, 1, 1, OLEIVERB_INPLACEACTIVATE, OLEOBJ_S_CANNOT_DOVERB_NOW,
         "CanInPlaceActivate ", ""},
        {TestSite::ClientOnly, 1, 1, 1, OLEIVERB_INPLACEACTIVATE, E_NOINTERFACE, "", ""},
        {TestSite::Windowless, 1, 1, 1, OLEIVERB_UIACTIVATE, S_OK,
         kUi + "OnUIActivate GetWindowContext ", "OnUIDeactivate DeactivateEx "},
        {TestSite::Windowless, 1, 1, 0, OLEIVERB_UIACTIVATE, OLEOBJ_S_CANNOT_DOVERB_NOW, kUi,
         "DeactivateEx "},
        {TestSite::Windowless, 1, 1, 1, 7, OLEOBJ_S_INVALIDVERB, kWl, "DeactivateEx "},
        {TestSite::Windowless, 1, 1, 1, OLEIVERB_OPEN, E_NOTIMPL, "", ""},
    };
    for (const auto& c : cases) {
        TestSite site;
        site.kind = c.kind;
        site.allowInPlace = c.allowInPlace;
        site.allowWindowless = c.allowWindowless;
        site.allowUi = c.allowUi;
        {
            Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
            for (int i = 0; i < 2; ++i)
                ASSERT_EQ(o->SetClientSite(&site), S_OK);
            EXPECT_EQ(site.refs, 2) << "the same site again holds one reference";
            for (int i = 0; i < (c.want == S_OK ? 2 : 1); ++i) { // again: already active
                EXPECT_EQ(o->DoVerb(c.verb, nullptr, nullptr, -1, nullptr, nullptr), c.want);
                EXPECT_EQ(site.log, c.activation) << c.verb;
            }
            Ref<IOleInPlaceObject> ip = query<IOleInPlaceObject>(o.get(), IID_IOleInPlaceObject);
            for (int i = 0; i < 2; ++i) {
                site.log.clear();
                EXPECT_EQ(ip->InPlaceDeactivate(), S_OK);
                EXPECT_EQ(site.log, i ? "" : c.deactivation) << c.activation;
            }
            EXPECT_EQ(site.refs, 2) << c.activation << ": only the client site is held";
        }
        EXPECT_EQ(site.refs, 1) << c.activation << ": released with the object";
    }
}

// The extent as IOleObject, IQuickActivate, IViewObject2 and IViewObjectEx (as a rectangle from the
// origin) report it: all four agree.
std::pair<LONG, LONG> extentOf(IUnknown* o) {
    SIZEL s[4] = {};
    RECTL r = {-1, -1, -1, -1};
    EXPECT_EQ(query<IOleObject>(o, IID_IOleObject)->GetExtent(DVASPECT_CONTENT, &s[0]), S_OK);
    EXPECT_EQ(query<IQuickActivate>(o, IID_IQuickActivate)->GetContentExtent(&s[1]), S_OK);
    Ref<IViewObjectEx> v = query<IViewObjectEx>(o, IID_IViewObjectEx);
    EXPECT_EQ(v->GetExtent(DVASPECT_CONTENT, -1, nullptr, &s[2]), S_OK);
    EXPECT_EQ(v->GetRect(DVASPECT_CONTENT, &r), S_OK);
    s[3] = r.left || r.top ? SIZEL{-1, -1} : SIZEL{r.right, r.bottom};
    for (const SIZEL& got : s)
        EXPECT_EQ(std::make_pair(got.cx, got.cy), std::make_pair(s[0].cx, s[0].cy));
    return {s[0].cx, s[0].cy};
}

HRESULT setExtent(IUnknown* o, LONG cx, LONG cy) {
    SIZEL s = {cx, cy};
    return query<IOleObject>(o, IID_IOleObject)->SetExtent(DVASPECT_CONTENT, &s);
}

// Close saves through the site when asked and dirty and tells the advise sink; quick activation
// sets the site and the sink and writes nothing past the sizes it is given.
TEST(Control, CloseAndQuickActivate) {
    const ULONG containerMin = offsetof(QACONTAINER, pAdviseSink) + sizeof(void*);
    const ULONG controlMin = offsetof(QACONTROL, dwViewStatus) + sizeof(DWORD);
    const struct {
        DWORD option;
        bool dirty, saves;
        ULONG containerSize, controlSize;
        HRESULT quick;
    } cases[] = {{OLECLOSE_SAVEIFDIRTY, true, true, sizeof(QACONTAINER), sizeof(QACONTROL), S_OK},
                 {OLECLOSE_SAVEIFDIRTY, false, false, containerMin, controlMin, S_OK},
                 {OLECLOSE_PROMPTSAVE, true, true, containerMin - 4, controlMin, E_UNEXPECTED},
                 {OLECLOSE_NOSAVE, true, false, containerMin, controlMin - 4, E_UNEXPECTED}};
    for (const auto& c : cases) {
        TestSite site;
        TestSink sink;
        {
            Ref<IQuickActivate> qa = newControl<IQuickActivate>(IID_IQuickActivate);
            Ref<IOleObject> o = query<IOleObject>(qa.get(), IID_IOleObject);
            QACONTAINER container = {};
            container.cbSize = c.containerSize;
            container.pClientSite = &site;
            container.pAdviseSink = &sink;
            unsigned char buffer[sizeof(QACONTROL) + 16];
            std::memset(buffer, 0xAB, sizeof buffer);
            QACONTROL* control = reinterpret_cast<QACONTROL*>(buffer);
            control->cbSize = c.controlSize;
            EXPECT_EQ(qa->QuickActivate(&container, control), c.quick) << c.controlSize;
            for (size_t i = c.controlSize; i < sizeof buffer; ++i)
                EXPECT_EQ(buffer[i], 0xAB) << c.controlSize << ": byte " << i << " written";
            DWORD cookie = 0;
            if (c.quick == S_OK) {
                EXPECT_EQ(control->dwMiscStatus, DWORD(132497));
                EXPECT_EQ(control->dwViewStatus, 0u);
                EXPECT_EQ(site.refs, 2) << "the site is set";
            } else {
                ASSERT_EQ(o->SetClientSite(&site), S_OK);
                ASSERT_EQ(o->Advise(&sink, &cookie), S_OK);
                EXPECT_EQ(query<IViewObject>(o.get(), IID_IViewObject)
                              ->SetAdvise(DVASPECT_CONTENT, 0, &sink),
                          S_OK);
            }
            SIZEL s = {4444, 3333};
            EXPECT_EQ(c.dirty ? qa->SetContentExtent(&s) : S_OK, S_OK);
            EXPECT_EQ(sink.viewChanges, c.dirty ? 1 : 0) << "the view sink hears of the change";
            if (c.dirty) {
                EXPECT_EQ(extentOf(o.get()), std::make_pair(4444L, 3333L));
            }
            EXPECT_EQ(o->Close(c.option), S_OK) << c.option;
            EXPECT_EQ(site.log, c.saves ? "SaveObject " : "") << c.option << " " << c.dirty;
            EXPECT_EQ(sink.closes, 1);
            query<IPersistStorage>(o.get(), IID_IPersistStorage)->SaveCompleted(nullptr);
            EXPECT_EQ(sink.saves, 1) << "a finished save is announced";
            EXPECT_EQ(cookie ? o->Unadvise(cookie) : S_OK, S_OK);
            ASSERT_EQ(o->SetClientSite(nullptr), S_OK);
        }
        EXPECT_EQ(site.refs, 1);
        EXPECT_EQ(sink.refs, 1);
    }
}

const int kW = 200, kH = 120;

// A white 24-bit top-down DIB section selected into a memory device context.
struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    BYTE* bits = nullptr;
    HBITMAP bmp;
    Canvas() {
        BITMAPINFO bi = {};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), kW, -kH, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), 0, 0);
        SelectObject(dc, bmp);
        std::memset(bits, 0xFF, size_t(kW * 3) * kH);
    }
    ~Canvas() { DeleteDC(dc), DeleteObject(bmp); }
    bool dark(int x, int y) const {
        const BYTE* p = (GdiFlush(), bits + (y * kW + x) * 3);
        return p[0] + p[1] + p[2] < 384;
    }
    RECT darkBox(LONG l, LONG t, LONG r, LONG b, int* count) const { // of the dark pixels inside
        RECT box = {kW, kH, -1, -1};
        *count = 0;
        for (LONG y = t; y < b; ++y)
            for (LONG x = l; x < r; ++x)
                if (dark(x, y))
                    ++*count, box = RECT{std::min(box.left, x), std::min(box.top, y),
                                         std::max(box.right, x), std::max(box.bottom, y)};
        return box;
    }
};

HRESULT draw(IUnknown* o, HDC dc, const RECTL* bounds, DWORD aspect = DVASPECT_CONTENT) {
    return query<IViewObject>(o, IID_IViewObject)
        ->Draw(aspect, -1, nullptr, nullptr, nullptr, dc, bounds, nullptr, nullptr, 0);
}

// Drawn at the bounds given, or with none while active in place at the position the container
// gave: the frame's four sides with white just outside, and text inside that sits on the baseline
// through the midpoint, centred on it; the caller's text alignment is left as it was.
TEST(Control, PictureFrameAndCentredTextAtTheBoundsOrThePosition) {
    TestSite site;
    Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(o->SetClientSite(&site), S_OK);
    enum How { Bounds, DoVerb, ObjectRects };
    const UINT kLeftTop = TA_LEFT | TA_TOP, kOther = TA_RIGHT | TA_BASELINE | TA_UPDATECP;
    const std::tuple<How, RECTL, UINT> cases[] = {{Bounds, {10, 10, 150, 90}, kLeftTop},
                                                  {Bounds, {37, 21, 141, 101}, kOther},
                                                  {Bounds, {0, 0, kW, kH}, kLeftTop},
                                                  {DoVerb, {20, 10, 140, 70}, kOther},
                                                  {ObjectRects, {50, 40, 190, 110}, kLeftTop}};
    for (const auto& [how, r, start] : cases) {
        const std::string what = std::to_string(how) + " at " + std::to_string(r.left) + ": ";
        RECT pos = {r.left, r.top, r.right, r.bottom};
        if (how == DoVerb) o->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, -1, nullptr, &pos);
        if (how == ObjectRects)
            query<IOleInPlaceObject>(o.get(), IID_IOleInPlaceObject)->SetObjectRects(&pos, &pos);
        Canvas c;
        SetTextAlign(c.dc, start);
        ASSERT_EQ(draw(o.get(), c.dc, how == Bounds ? &r : nullptr), S_OK) << what;
        EXPECT_EQ(GetTextAlign(c.dc), start) << what << "alignment not restored";
        const int l = r.left, t = r.top, rt = r.right - 1, b = r.bottom - 1;
        const int mx = (r.left + r.right) / 2, my = (r.top + r.bottom) / 2;
        const std::tuple<int, int, bool> pixels[] = {
            {l, my, true},      {rt, my, true},      {l + 3, t, true},   {rt - 3, b, true},
            {l - 1, my, false}, {rt + 1, my, false}, {mx, t - 1, false}, {mx, b + 1, false}};
        for (const auto& [x, y, dark] : pixels) {
            if (x < 0 || y < 0 || x >= kW || y >= kH) continue; // outside the canvas
            EXPECT_EQ(c.dark(x, y), dark) << what << x << "," << y;
        }
        int count = 0;
        const RECT text = c.darkBox(l + 2, t + 2, rt - 1, b - 1, &count);
        ASSERT_GT(count, 10) << what << "no text inside the frame";
        EXPECT_LE(text.bottom, my) << what << "text below the baseline";
        EXPECT_GE(text.top, my - 24) << what << "text far above the baseline";
        EXPECT_LE(std::abs((mx - text.left) - (text.right + 1 - mx)), 2) << what << "not centred";
    }
    EXPECT_EQ(o->Close(OLECLOSE_NOSAVE), S_OK);
    Canvas c;
    const RECTL all = {0, 0, kW, kH};
    const std::tuple<DWORD, HDC, const RECTL*> refused[] = {
        {DVASPECT_CONTENT, c.dc, nullptr}, // closed: no longer active, so bounds are needed
        {DVASPECT_ICON, c.dc, &all},
        {DVASPECT_CONTENT, nullptr, &all}};
    for (const auto& [aspect, dc, bounds] : refused) {
        int count = -1;
        EXPECT_EQ(draw(o.get(), dc, bounds, aspect),
                  aspect == DVASPECT_ICON ? DV_E_DVASPECT : E_INVALIDARG);
        c.darkBox(0, 0, kW, kH, &count);
        EXPECT_EQ(count, 0) << aspect;
    }
    EXPECT_EQ(o->SetClientSite(nullptr), S_OK);
}

Ref<IStream> memoryStream(const std::string& bytes) {
    Ref<IStream> s;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, s.out()), S_OK);
    s->Write(bytes.data(), ULONG(bytes.size()), nullptr);
    return s;
}

ULONGLONG seek(IStream* s, LONGLONG to, DWORD origin = STREAM_SEEK_SET) {
    LARGE_INTEGER move;
    move.QuadPart = to;
    ULARGE_INTEGER now = {};
    s->Seek(move, origin, &now);
    return now.QuadPart;
}

std::string contents(IStream* s) {
    std::string out(size_t(seek(s, 0, STREAM_SEEK_END)), '\0');
    ULONG got = (seek(s, 0), 0);
    s->Read(&out[0], ULONG(out.size()), &got);
    return out.substr(0, got);
}

// The stream form: tag, block size, then _cx and _cy, all little-endian.
std::string form(ULONG cx, ULONG cy, ULONG block = 8) {
    std::string out = "QXEX";
    for (ULONG v : {block, cx, cy})
        for (int i = 0; i < 4; ++i)
            out += char((v >> (8 * i)) & 0xFF);
    return out + std::string(block - 8, 'x');
}

// Saved, loaded, or refused: the bytes, the result, then the extent and the stream position after.
TEST(Control, StreamFormLoadsExactlyItsOwnBytesAndRefusesDamage) {
    Ref<IPersistStreamInit> a = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
    Ref<IStream> saved = memoryStream("");
    setExtent(a.get(), 0x7FFFFFFF, 0x10000);
    EXPECT_EQ(a->IsDirty(), S_OK);
    ASSERT_EQ(a->Save(saved.get(), TRUE), S_OK);
    EXPECT_EQ(a->IsDirty(), S_FALSE);
    ULARGE_INTEGER max = {};
    EXPECT_EQ(a->GetSizeMax(&max), S_OK);
    EXPECT_EQ(max.QuadPart, 16u);
    const std::tuple<std::string, HRESULT, LONG, LONG, ULONGLONG> cases[] = {
        {contents(saved.get()), S_OK, 0x7FFFFFFF, 0x10000, 16},
        {form(300, 200) + "next object", S_OK, 300, 200, 16},
        {form(301, 201, 12) + "next object", S_OK, 301, 201, 20}, // a longer block is skipped
        {"QXEY" + form(1, 2).substr(4), STG_E_INVALIDHEADER, 77, 88, 0},
        {form(1, 2).replace(4, 1, "\x04"), STG_E_INVALIDHEADER, 77, 88, 0},
        {form(1, 2).replace(4, 4, "\xff\xff\xff\x7f"), STG_E_INVALIDHEADER, 77, 88, 0},
        {form(1, 2).substr(0, 13), STG_E_READFAULT, 77, 88, 0},
        {"", STG_E_READFAULT, 77, 88, 0},
    };
    for (const auto& [bytes, want, cx, cy, consumed] : cases) {
        Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
        setExtent(o.get(), 77, 88);
        Ref<IStream> s = memoryStream(bytes);
        seek(s.get(), 0);
        EXPECT_EQ(o->Load(s.get()), want) << testing::PrintToString(bytes);
        EXPECT_EQ(extentOf(o.get()), std::make_pair(cx, cy)) << "unchanged by a failed load";
        EXPECT_EQ(want == S_OK ? seek(s.get(), 0, STREAM_SEEK_CUR) : 0, consumed);
        EXPECT_EQ(o->IsDirty(), want == S_OK ? S_FALSE : S_OK);
    }
}

// As a container saves an embedded object: the class, then the extent in the same form.
TEST(Control, StorageRoundTripAndDirtyFlag) {
    Ref<ILockBytes> bytes;
    Ref<IStorage> storage;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.out()), S_OK);
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.get(),
                                           STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                           storage.out()),
              S_OK);
    Ref<IPersistStorage> a = newControl<IPersistStorage>(IID_IPersistStorage);
    ASSERT_EQ(a->InitNew(storage.get()), S_OK);
    setExtent(a.get(), 4321, 1234);
    ASSERT_EQ(OleSave(a.get(), storage.get(), FALSE), S_OK); // a "save as"
    EXPECT_EQ(a->IsDirty(), S_OK) << "until the save is completed";
    EXPECT_EQ(a->SaveCompleted(storage.get()), S_OK);
    EXPECT_EQ(a->IsDirty(), S_FALSE);
    Ref<IPersistStorage> b = newControl<IPersistStorage>(IID_IPersistStorage);
    ASSERT_EQ(b->Load(storage.get()), S_OK);
    EXPECT_EQ(extentOf(b.get()), std::make_pair(4321L, 1234L));
    setExtent(b.get(), 9, 9);
    EXPECT_EQ(b->IsDirty(), S_OK);
    EXPECT_EQ(b->Save(storage.get(), TRUE), S_OK);
    EXPECT_EQ(b->IsDirty(), S_FALSE) << "saved in place";
    SIZEL icon = {5, 5};
    EXPECT_EQ(query<IOleObject>(b.get(), IID_IOleObject)->SetExtent(DVASPECT_ICON, &icon),
              DV_E_DVASPECT);
    EXPECT_EQ(extentOf(b.get()), std::make_pair(9L, 9L)) << "the icon's is not the content's";
}

} // namespace
