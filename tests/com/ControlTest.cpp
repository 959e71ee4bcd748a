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
    ASSERT_EQ(factory()->CreateInstance(&outer, IID_IUnknown, inner.outVoid()), S_OK);
    for (const IID* iid :
         {&IID_IQuenlixCsv, &IID_IDispatch, &IID_IViewObjectEx, &IID_IViewObject2, &IID_IViewObject,
          &IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceObject, &IID_IOleWindow,
          &IID_IOleInPlaceActiveObject, &IID_IOleControl, &IID_IOleObject, &IID_IPersistStreamInit,
          &IID_IPersist, &IID_ISpecifyPropertyPages, &IID_IQuickActivate, &IID_IPersistStorage,
          &IID_IDataObject, &IID_IProvideClassInfo, &IID_IProvideClassInfo2}) {
        const auto id = iid->Data1; // names the interface in the messages
        Ref<IUnknown> p = query<IUnknown>(identity.get(), *iid), q;
        EXPECT_EQ(query<IUnknown>(p.get(), IID_IUnknown).get(), identity.get()) << id;
        ASSERT_EQ(inner->QueryInterface(*iid, q.outVoid()), S_OK) << id;
        EXPECT_EQ(outer.refs, 2) << id;
        void* other = nullptr;
        q->QueryInterface(IID_IUnknown, &other);
        EXPECT_EQ(std::exchange(outer.queries, 0), 1) << id << " asks the outer object";
        q.reset();
        EXPECT_EQ(outer.refs, 1) << id;
    }
    for (const IID* iid : {&IID_IPersistPropertyBag, &IID_IConnectionPointContainer, &IID_IOleCache,
                           &IID_IPersistFile, &IID_IClassFactory}) {
        void* p = reinterpret_cast<void*>(uintptr_t(0x1234));
        EXPECT_EQ(identity->QueryInterface(*iid, &p), E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
    }
}

// A verb against a site of some kind (data/activation.txt): what the site is told on DoVerb
// (twice: the second finds the control active), then on InPlaceDeactivate (twice: the second finds
// nothing to do); the client site is let go of with the object.
TEST(Control, ActivationFollowsTheVerbAndWhatTheSiteOffers) {
    for (const auto& c : testfs::caseRows("com/data/activation.txt")) {
        ASSERT_EQ(c.size(), 6u);
        const LONG verb = std::stol(c[2]);
        const HRESULT want = HRESULT(std::stoul(c[3], nullptr, 16));
        const std::string activation = testfs::unescape(c[4]),
                          deactivation = testfs::unescape(c[5]);
        TestSite site;
        site.kind = TestSite::Kind(std::stoi(c[0]));
        site.refuse = testfs::unescape(c[1]);
        {
            Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
            for (int i = 0; i < 2; ++i)
                ASSERT_EQ(o->SetClientSite(&site), S_OK);
            EXPECT_EQ(site.refs, 2) << "the same site again holds one reference";
            for (int i = 0; i < (want == S_OK ? 2 : 1); ++i) {
                EXPECT_EQ(o->DoVerb(verb, nullptr, nullptr, -1, nullptr, nullptr), want);
                EXPECT_EQ(site.log, activation) << verb;
            }
            Ref<IOleInPlaceObject> ip = query<IOleInPlaceObject>(o.get(), IID_IOleInPlaceObject);
            for (int i = 0; i < 2; ++i) {
                site.log.clear();
                EXPECT_EQ(ip->InPlaceDeactivate(), S_OK);
                EXPECT_EQ(site.log, i ? "" : deactivation) << activation;
            }
            EXPECT_EQ(site.refs, 2) << activation << ": only the client site is held";
        }
        EXPECT_EQ(site.refs, 1) << activation << ": released with the object";
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
            } else { // the same in separate calls
                ASSERT_EQ(o->SetClientSite(&site), S_OK);
                ASSERT_EQ(o->Advise(&sink, &cookie), S_OK);
                query<IViewObject>(o.get(), IID_IViewObject)->SetAdvise(DVASPECT_CONTENT, 0, &sink);
            }
            SIZEL s = {4444, 3333};
            EXPECT_EQ(c.dirty ? qa->SetContentExtent(&s) : S_OK, S_OK);
            EXPECT_EQ(sink.viewChanges, c.dirty ? 1 : 0) << "the view sink hears of the change";
            EXPECT_EQ(extentOf(o.get()).first, c.dirty ? 4444 : 1000);
            EXPECT_EQ(o->Close(c.option), S_OK) << c.option;
            EXPECT_EQ(site.log, c.saves ? "SaveObject" : "") << c.option << " " << c.dirty;
            EXPECT_EQ(sink.closes, 1);
            query<IPersistStorage>(o.get(), IID_IPersistStorage)->SaveCompleted(nullptr);
            EXPECT_EQ(sink.saves, 1) << "a finished save is announced";
            EXPECT_EQ(cookie ? o->Unadvise(cookie) : S_OK, S_OK);
        }
        EXPECT_EQ(site.refs, 1);
        EXPECT_EQ(sink.refs, 1);
    }
}

const int kW = 200, kH = 120;

// A white monochrome bitmap selected into a memory device context.
struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateBitmap(kW, kH, 1, 1, nullptr);
    Canvas() { SelectObject(dc, bmp), PatBlt(dc, 0, 0, kW, kH, WHITENESS); }
    ~Canvas() { DeleteDC(dc), DeleteObject(bmp); }
    bool dark(int x, int y) const { return GetPixel(dc, x, y) == RGB(0, 0, 0); }
    // Around the dark pixels of [l, r) x [t, b): left > right when there are none.
    RECT darkBox(LONG l, LONG t, LONG r, LONG b) const {
        RECT box = {r, b, l - 1, t - 1};
        for (LONG y = t; y < b; ++y)
            for (LONG x = l; x < r; ++x)
                if (dark(x, y))
                    box = RECT{std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                               std::max(box.bottom, y)};
        return box;
    }
};

HRESULT draw(IUnknown* o, HDC dc, const RECTL* bounds, DWORD aspect = DVASPECT_CONTENT) {
    return query<IViewObject>(o, IID_IViewObject)
        ->Draw(aspect, -1, nullptr, nullptr, nullptr, dc, bounds, nullptr, nullptr, 0);
}

// Drawn at the bounds given, or with none while active in place at the position the container
// gave: a frame on the bounds and nothing outside, and text inside that sits on the baseline
// through the midpoint, centred on it; the caller's text alignment is left as it was.
TEST(Control, PictureFrameAndCentredTextAtTheBoundsOrThePosition) {
    TestSite site;
    Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
    ASSERT_EQ(o->SetClientSite(&site), S_OK);
    enum How { Bounds, DoVerb, ObjectRects };
    const std::pair<How, RECTL> cases[] = {{Bounds, {37, 21, 141, 101}},
                                           {DoVerb, {20, 10, 140, 70}},
                                           {ObjectRects, {50, 40, 190, 110}}};
    const UINT kAlign = TA_RIGHT | TA_BASELINE | TA_UPDATECP; // not the picture's
    for (const auto& [how, r] : cases) {
        RECT pos = {r.left, r.top, r.right, r.bottom};
        if (how == DoVerb) o->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, -1, nullptr, &pos);
        if (how == ObjectRects)
            query<IOleInPlaceObject>(o.get(), IID_IOleInPlaceObject)->SetObjectRects(&pos, &pos);
        Canvas c;
        SetTextAlign(c.dc, kAlign);
        ASSERT_EQ(draw(o.get(), c.dc, how == Bounds ? &r : nullptr), S_OK) << how;
        EXPECT_EQ(GetTextAlign(c.dc), kAlign) << how << ": alignment not restored";
        const LONG mx = (r.left + r.right) / 2, my = (r.top + r.bottom) / 2;
        const RECT box = c.darkBox(0, 0, kW, kH);
        const RECT text = c.darkBox(r.left + 2, r.top + 2, r.right - 2, r.bottom - 2);
        EXPECT_EQ(std::make_tuple(box.left, box.top, box.right, box.bottom),
                  std::make_tuple(r.left, r.top, r.right - 1, r.bottom - 1))
            << how << ": the frame is not the bounds";
        ASSERT_LE(text.left, text.right) << how << ": no text inside the frame";
        EXPECT_LE(text.bottom, my) << how << ": text below the baseline";
        EXPECT_LE(std::abs((mx - text.left) - (text.right + 1 - mx)), 2) << how << ": not centred";
    }
    EXPECT_EQ(o->Close(OLECLOSE_NOSAVE), S_OK);
    Canvas c;
    const RECTL all = {0, 0, kW, kH};
    const std::tuple<DWORD, HDC, const RECTL*, HRESULT> refused[] = {
        {DVASPECT_CONTENT, c.dc, nullptr, E_INVALIDARG}, // closed: not active, so bounds are needed
        {DVASPECT_ICON, c.dc, &all, DV_E_DVASPECT},
        {DVASPECT_CONTENT, nullptr, &all, E_INVALIDARG}};
    for (const auto& [aspect, dc, bounds, want] : refused) {
        EXPECT_EQ(draw(o.get(), dc, bounds, aspect), want);
        const RECT box = c.darkBox(0, 0, kW, kH);
        EXPECT_GT(box.left, box.right) << aspect << ": drawn";
    }
}

ULONGLONG seek(IStream* s, LONGLONG to, DWORD origin = STREAM_SEEK_SET) {
    LARGE_INTEGER move;
    move.QuadPart = to;
    ULARGE_INTEGER now = {};
    s->Seek(move, origin, &now);
    return now.QuadPart;
}

Ref<IStream> memoryStream(const std::string& bytes) { // positioned at its start
    Ref<IStream> s;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, s.out()), S_OK);
    s->Write(bytes.data(), ULONG(bytes.size()), nullptr);
    seek(s.get(), 0);
    return s;
}

// As a container saves an embedded object: the class, then the extent in its stream form (tag,
// block size, then _cx and _cy, all little-endian), exactly; that loaded back, and bytes loaded or
// refused (data/stream-forms.txt): the result, then the extent and the stream position after.
TEST(Control, PersistedExtentLoadsExactlyItsOwnBytesAndRefusesDamage) {
    Ref<IPersistStorage> a = newControl<IPersistStorage>(IID_IPersistStorage);
    Ref<IStorage> storage; // a temporary file
    const DWORD mode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE;
    ASSERT_EQ(StgCreateDocfile(nullptr, mode, 0, storage.out()), S_OK);
    ASSERT_EQ(a->InitNew(storage.get()), S_OK);
    setExtent(a.get(), 0x7FFFFFFF, 0x10000);
    ASSERT_EQ(OleSave(a.get(), storage.get(), FALSE), S_OK); // a "save as"
    EXPECT_EQ(a->IsDirty(), S_OK) << "until the save is completed";
    EXPECT_EQ(a->SaveCompleted(storage.get()), S_OK);
    EXPECT_EQ(a->IsDirty(), S_FALSE);
    Ref<IStream> saved;
    const DWORD readMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
    ASSERT_EQ(storage->OpenStream(L"Contents", nullptr, readMode, 0, saved.out()), S_OK);
    char bytes[32];
    ULONG got = 0;
    saved->Read(bytes, sizeof bytes, &got);
    EXPECT_EQ(std::string(bytes, got), std::string("QXEX\x08\0\0\0\xff\xff\xff\x7f\0\0\x01\0", 16));
    saved.reset();
    ULARGE_INTEGER max = {};
    EXPECT_EQ(query<IPersistStreamInit>(a.get(), IID_IPersistStreamInit)->GetSizeMax(&max), S_OK);
    EXPECT_EQ(max.QuadPart, 16u);
    Ref<IPersistStorage> b = newControl<IPersistStorage>(IID_IPersistStorage);
    ASSERT_EQ(b->Load(storage.get()), S_OK);
    EXPECT_EQ(extentOf(b.get()), std::make_pair(0x7FFFFFFFL, 0x10000L));
    setExtent(b.get(), 9, 9);
    EXPECT_EQ(b->Save(storage.get(), TRUE), S_OK);
    EXPECT_EQ(b->IsDirty(), S_FALSE) << "saved in place";
    SIZEL icon = {5, 5};
    EXPECT_EQ(query<IOleObject>(b.get(), IID_IOleObject)->SetExtent(DVASPECT_ICON, &icon),
              DV_E_DVASPECT);
    EXPECT_EQ(extentOf(b.get()), std::make_pair(9L, 9L)) << "the icon's is not the content's";
    for (const auto& c : testfs::caseRows("com/data/stream-forms.txt")) {
        ASSERT_EQ(c.size(), 5u);
        const HRESULT want = HRESULT(std::stoul(c[1], nullptr, 16));
        Ref<IPersistStreamInit> o = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
        setExtent(o.get(), 77, 88);
        Ref<IStream> s = memoryStream(testfs::unescape(c[0]));
        EXPECT_EQ(o->Load(s.get()), want) << c[0];
        EXPECT_EQ(extentOf(o.get()), std::make_pair(std::stol(c[2]), std::stol(c[3]))) << c[0];
        EXPECT_EQ(want == S_OK ? seek(s.get(), 0, STREAM_SEEK_CUR) : 0, std::stoull(c[4])) << c[0];
        EXPECT_EQ(o->IsDirty(), want == S_OK ? S_FALSE : S_OK) << c[0];
    }
}

} // namespace
