// The control's design-time picture and its view: pixels drawn into a memory device context
// (the frame over the bounds, "CSV" centred on the midpoint with its baseline there), the text
// alignment left as it was, the records written into both kinds of metafile, refused draws that
// leave the surface alone, and the view's rectangles, hit tests and change notifications.
#include "ControlTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace comtest;

namespace {

// A white 24-bit top-down DIB section selected into a memory device context.
class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h), stride_((w * 3 + 3) & ~3) {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 24;
        bi.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<BYTE*>(bits);
        old_ = SelectObject(dc_, bmp_);
        RECT all = {0, 0, w, h};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ready() const { return dc_ && bmp_ && bits_; }
    HDC dc() const { return dc_; }
    bool dark(int x, int y) const {
        GdiFlush();
        const BYTE* p = bits_ + y * stride_ + x * 3;
        return p[0] + p[1] + p[2] < 384;
    }
    // The smallest box holding the dark pixels inside r (right and bottom inclusive).
    struct Box {
        int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
    };
    Box darkBox(const RECT& r) const {
        Box b;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (dark(x, y)) {
                    ++b.count;
                    b.left = x < b.left ? x : b.left;
                    b.right = x > b.right ? x : b.right;
                    b.top = y < b.top ? y : b.top;
                    b.bottom = y > b.bottom ? y : b.bottom;
                }
        return b;
    }
    int darkCount() const { return darkBox(RECT{0, 0, w_, h_}).count; }

private:
    int w_, h_, stride_;
    HDC dc_ = nullptr;
    HBITMAP bmp_ = nullptr;
    HGDIOBJ old_ = nullptr;
    BYTE* bits_ = nullptr;
};

HRESULT draw(IViewObject* v, HDC dc, const RECTL* bounds, DWORD aspect = DVASPECT_CONTENT) {
    return v->Draw(aspect, -1, nullptr, nullptr, nullptr, dc, bounds, nullptr, nullptr, 0);
}

std::string where(const RECTL& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

// The picture within bounds: the frame's four sides, white just outside, and text that sits on
// the baseline through the midpoint, centred on the midpoint's x.
void expectPicture(const Canvas& c, const RECTL& r, int canvasW, int canvasH,
                   const std::string& what) {
    const int l = r.left, t = r.top, rt = r.right - 1, b = r.bottom - 1;
    const int mx = (r.left + r.right) / 2, my = (r.top + r.bottom) / 2;
    EXPECT_TRUE(c.dark(l, my)) << what << " left side";
    EXPECT_TRUE(c.dark(rt, my)) << what << " right side";
    EXPECT_TRUE(c.dark(l + 3, t)) << what << " top side";
    EXPECT_TRUE(c.dark(rt - 3, b)) << what << " bottom side";
    if (l > 0) {
        EXPECT_FALSE(c.dark(l - 1, my)) << what << " left of the frame";
    }
    if (rt + 1 < canvasW) {
        EXPECT_FALSE(c.dark(rt + 1, my)) << what << " right of the frame";
    }
    if (t > 0) {
        EXPECT_FALSE(c.dark(mx, t - 1)) << what << " above the frame";
    }
    if (b + 1 < canvasH) {
        EXPECT_FALSE(c.dark(mx, b + 1)) << what << " below the frame";
    }

    const Canvas::Box text = c.darkBox(RECT{l + 2, t + 2, rt - 1, b - 1});
    ASSERT_GT(text.count, 10) << what << ": no text inside the frame";
    EXPECT_LE(text.bottom, my) << what << ": text below the baseline";
    EXPECT_GE(text.top, my - 24) << what << ": text far above the baseline";
    EXPECT_LT(text.left, mx) << what;
    EXPECT_GT(text.right, mx) << what;
    const int leftHalf = mx - text.left, rightHalf = text.right + 1 - mx;
    EXPECT_LE(std::abs(leftHalf - rightHalf), 2)
        << what << ": text not centred (" << leftHalf << " left, " << rightHalf << " right)";
}

TEST(ControlDraw, FrameAndCentredTextForAnyBoundsAndStartingAlignment) {
    Ref<IViewObject> v = newControl<IViewObject>(IID_IViewObject);
    ASSERT_TRUE(v.get());
    const RECTL bounds[] = {{10, 10, 150, 90}, {0, 0, 200, 120}, {37, 21, 141, 101}};
    const UINT starts[] = {TA_LEFT | TA_TOP, TA_RIGHT | TA_BOTTOM, TA_CENTER | TA_BASELINE,
                           TA_RIGHT | TA_BASELINE | TA_UPDATECP};
    for (const RECTL& r : bounds)
        for (UINT start : starts) {
            const std::string what = where(r) + " align " + std::to_string(start);
            Canvas c(200, 120);
            ASSERT_TRUE(c.ready());
            SetTextAlign(c.dc(), start);
            ASSERT_EQ(draw(v.get(), c.dc(), &r), S_OK) << what;
            EXPECT_EQ(GetTextAlign(c.dc()), start) << what << ": alignment not restored";
            expectPicture(c, r, 200, 120, what);
        }
}

TEST(ControlDraw, RefusedDrawsLeaveTheSurfaceAlone) {
    Ref<IViewObject> v = newControl<IViewObject>(IID_IViewObject);
    Canvas c(100, 60);
    const RECTL r = {0, 0, 100, 60};
    const struct {
        const char* what;
        DWORD aspect;
        HDC dc;
        const RECTL* bounds;
        HRESULT want;
    } cases[] = {
        {"icon aspect", DVASPECT_ICON, c.dc(), &r, DV_E_DVASPECT},
        {"thumbnail aspect", DVASPECT_THUMBNAIL, c.dc(), &r, DV_E_DVASPECT},
        {"no device context", DVASPECT_CONTENT, nullptr, &r, E_INVALIDARG},
        {"no bounds while not active", DVASPECT_CONTENT, c.dc(), nullptr, E_INVALIDARG},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(draw(v.get(), k.dc, k.bounds, k.aspect), k.want) << k.what;
        EXPECT_EQ(c.darkCount(), 0) << k.what;
    }
}

TEST(ControlDraw, ActiveWindowlessControlDrawsAtItsPositionWithoutBounds) {
    TestSite site;
    {
        Ref<IOleObject> o = newControl<IOleObject>(IID_IOleObject);
        ASSERT_EQ(o->SetClientSite(&site), S_OK);
        RECT pos = {20, 10, 140, 70};
        ASSERT_EQ(o->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, -1, nullptr, &pos), S_OK);
        Ref<IViewObject> v = query<IViewObject>(o.get(), IID_IViewObject);
        Canvas c(200, 120);
        ASSERT_EQ(draw(v.get(), c.dc(), nullptr), S_OK);
        expectPicture(c, RECTL{20, 10, 140, 70}, 200, 120, "at the DoVerb position");

        // The container moves it.
        RECT moved = {50, 40, 190, 110};
        ASSERT_EQ(query<IOleInPlaceObject>(o.get(), IID_IOleInPlaceObject)
                      ->SetObjectRects(&moved, &moved),
                  S_OK);
        Canvas c2(200, 120);
        ASSERT_EQ(draw(v.get(), c2.dc(), nullptr), S_OK);
        expectPicture(c2, RECTL{50, 40, 190, 110}, 200, 120, "after SetObjectRects");
        EXPECT_EQ(o->Close(OLECLOSE_NOSAVE), S_OK);
        EXPECT_EQ(draw(v.get(), c2.dc(), nullptr), E_INVALIDARG) << "closed: no longer active";
        EXPECT_EQ(o->SetClientSite(nullptr), S_OK);
    }
    EXPECT_EQ(site.refs, 1);
}

// ---- metafiles ------------------------------------------------------------------------------

struct Records {
    std::vector<DWORD> types;
    std::vector<DWORD> alignments; // each SetTextAlign record's value, in order
    bool hasText = false;
    RECTL rectangle = {0, 0, 0, 0};
    int rectangles = 0;
};

Records enhancedRecords(HENHMETAFILE emf) {
    Records out;
    std::vector<BYTE> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
    GetEnhMetaFileBits(emf, UINT(bytes.size()), bytes.data());
    for (size_t at = 0; at + 8 <= bytes.size();) {
        const EMR* rec = reinterpret_cast<const EMR*>(&bytes[at]);
        out.types.push_back(rec->iType);
        if (rec->iType == EMR_SETTEXTALIGN)
            out.alignments.push_back(reinterpret_cast<const EMRSETTEXTALIGN*>(rec)->iMode);
        if (rec->iType == EMR_EXTTEXTOUTA || rec->iType == EMR_EXTTEXTOUTW) out.hasText = true;
        if (rec->iType == EMR_RECTANGLE) {
            ++out.rectangles;
            out.rectangle = reinterpret_cast<const EMRRECTANGLE*>(rec)->rclBox;
        }
        if (rec->nSize < 8) break;
        at += rec->nSize;
    }
    return out;
}

Records windowsRecords(HMETAFILE wmf) {
    Records out;
    std::vector<BYTE> bytes(GetMetaFileBitsEx(wmf, 0, nullptr));
    GetMetaFileBitsEx(wmf, UINT(bytes.size()), bytes.data());
    const size_t header = sizeof(METAHEADER);
    for (size_t at = header; at + 6 <= bytes.size();) {
        DWORD sizeWords;
        WORD function;
        std::memcpy(&sizeWords, &bytes[at], 4);
        std::memcpy(&function, &bytes[at + 4], 2);
        out.types.push_back(function);
        if (function == META_SETTEXTALIGN) {
            WORD align;
            std::memcpy(&align, &bytes[at + 6], 2);
            out.alignments.push_back(align);
        }
        if (function == META_TEXTOUT || function == META_EXTTEXTOUT) out.hasText = true;
        if (function == META_RECTANGLE) ++out.rectangles;
        if (sizeWords < 3) break;
        at += sizeWords * 2;
    }
    return out;
}

TEST(ControlDraw, MetafilesRecordTheFrameTheTextAndTheAlignmentChange) {
    Ref<IViewObject> v = newControl<IViewObject>(IID_IViewObject);
    const RECTL r = {0, 0, 100, 60};

    HDC edc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(edc);
    SetTextAlign(edc, TA_RIGHT);
    EXPECT_EQ(draw(v.get(), edc, &r), S_OK);
    HENHMETAFILE emf = CloseEnhMetaFile(edc);
    ASSERT_TRUE(emf);
    Records e = enhancedRecords(emf);
    DeleteEnhMetaFile(emf);

    // A Windows metafile being recorded cannot say its alignment; the picture leaves the one
    // playback starts from.
    HDC wdc = CreateMetaFileW(nullptr);
    ASSERT_TRUE(wdc);
    EXPECT_EQ(draw(v.get(), wdc, &r), S_OK);
    HMETAFILE wmf = CloseMetaFile(wdc);
    ASSERT_TRUE(wmf);
    Records w = windowsRecords(wmf);
    DeleteMetaFile(wmf);

    const struct {
        const char* what;
        const Records& got;
        std::vector<DWORD> alignments;
    } cases[] = {
        {"enhanced metafile", e, {TA_RIGHT, 30, TA_RIGHT}},
        {"Windows metafile", w, {30, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got.rectangles, 1) << c.what;
        EXPECT_TRUE(c.got.hasText) << c.what;
        EXPECT_EQ(c.got.alignments, c.alignments) << c.what;
    }
    EXPECT_EQ(e.rectangle.left, 0);
    EXPECT_EQ(e.rectangle.top, 0);
    EXPECT_GE(e.rectangle.right, 99);
    EXPECT_GE(e.rectangle.bottom, 59);
}

// ---- the view's other answers ---------------------------------------------------------------

TEST(ControlView, RectanglesHitTestsAndNaturalSize) {
    Ref<IViewObjectEx> v = newControl<IViewObjectEx>(IID_IViewObjectEx);
    SIZEL size = {3000, 2000};
    ASSERT_EQ(query<IOleObject>(v.get(), IID_IOleObject)->SetExtent(DVASPECT_CONTENT, &size), S_OK);

    const struct {
        const char* what;
        DWORD aspect;
        HRESULT want;
    } rects[] = {
        {"content", DVASPECT_CONTENT, S_OK},
        {"transparent parts", DVASPECT_TRANSPARENT, S_OK},
        {"opaque part (there is none)", DVASPECT_OPAQUE, DV_E_DVASPECT},
        {"icon", DVASPECT_ICON, DV_E_DVASPECT},
    };
    for (const auto& c : rects) {
        RECTL got = {-1, -1, -1, -1};
        EXPECT_EQ(v->GetRect(c.aspect, &got), c.want) << c.what;
        if (c.want != S_OK) continue;
        EXPECT_EQ(got.left, 0) << c.what;
        EXPECT_EQ(got.top, 0) << c.what;
        EXPECT_EQ(got.right, 3000) << c.what;
        EXPECT_EQ(got.bottom, 2000) << c.what;
    }

    const RECT bounds = {10, 20, 110, 70};
    const struct {
        POINT p;
        DWORD want;
    } points[] = {
        {{10, 20}, HITRESULT_HIT},      {{109, 69}, HITRESULT_HIT},    {{60, 45}, HITRESULT_HIT},
        {{110, 45}, HITRESULT_OUTSIDE}, {{60, 70}, HITRESULT_OUTSIDE}, {{9, 20}, HITRESULT_OUTSIDE},
    };
    for (const auto& c : points) {
        DWORD got = 99;
        EXPECT_EQ(v->QueryHitPoint(DVASPECT_CONTENT, &bounds, c.p, 0, &got), S_OK);
        EXPECT_EQ(got, c.want) << c.p.x << "," << c.p.y;
    }
    const RECT touching = {0, 0, 11, 21}, beside = {110, 20, 120, 70};
    DWORD hit = 99, miss = 99;
    EXPECT_EQ(v->QueryHitRect(DVASPECT_CONTENT, &bounds, &touching, 0, &hit), S_OK);
    EXPECT_EQ(v->QueryHitRect(DVASPECT_CONTENT, &bounds, &beside, 0, &miss), S_OK);
    EXPECT_EQ(hit, DWORD(HITRESULT_HIT));
    EXPECT_EQ(miss, DWORD(HITRESULT_OUTSIDE));

    // Natural size: the picture's own, whatever the current extent; a proposed size is taken.
    DVEXTENTINFO content = {sizeof(DVEXTENTINFO), DVEXTENT_CONTENT, {1, 1}};
    DVEXTENTINFO integral = {sizeof(DVEXTENTINFO), DVEXTENT_INTEGRAL, {777, 333}};
    SIZEL nat = {}, fitted = {};
    EXPECT_EQ(v->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, &content, &nat), S_OK);
    EXPECT_EQ(v->GetNaturalExtent(DVASPECT_CONTENT, -1, nullptr, nullptr, &integral, &fitted),
              S_OK);
    Ref<IPersistStreamInit> fresh = newControl<IPersistStreamInit>(IID_IPersistStreamInit);
    SIZEL initial = {};
    EXPECT_EQ(query<IOleObject>(fresh.get(), IID_IOleObject)->GetExtent(DVASPECT_CONTENT, &initial),
              S_OK);
    EXPECT_EQ(nat.cx, initial.cx);
    EXPECT_EQ(nat.cy, initial.cy);
    EXPECT_EQ(fitted.cx, 777);
    EXPECT_EQ(fitted.cy, 333);
}

TEST(ControlView, ViewSinkHearsOfExtentChanges) {
    TestSink sink;
    {
        Ref<IViewObject> v = newControl<IViewObject>(IID_IViewObject);
        Ref<IOleObject> o = query<IOleObject>(v.get(), IID_IOleObject);
        SIZEL a = {100, 100}, b = {200, 100};

        ASSERT_EQ(v->SetAdvise(DVASPECT_CONTENT, ADVF_PRIMEFIRST, &sink), S_OK);
        EXPECT_EQ(sink.log, "OnViewChange(1,-1) ") << "prime first";
        EXPECT_EQ(sink.refs, 2) << "held by the object";
        DWORD aspects = 0, advf = 0;
        Ref<IAdviseSink> held;
        EXPECT_EQ(v->GetAdvise(&aspects, &advf, held.out()), S_OK);
        EXPECT_EQ(held.get(), static_cast<IAdviseSink*>(&sink));
        EXPECT_EQ(aspects, DWORD(DVASPECT_CONTENT));
        EXPECT_EQ(advf, DWORD(ADVF_PRIMEFIRST));
        held.reset();

        const struct {
            const char* what;
            SIZEL* size;
            int changes; // total so far
        } steps[] = {{"new extent", &a, 2}, {"same extent", &a, 2}, {"another", &b, 3}};
        for (const auto& s : steps) {
            EXPECT_EQ(o->SetExtent(DVASPECT_CONTENT, s.size), S_OK) << s.what;
            EXPECT_EQ(sink.viewChanges, s.changes) << s.what;
        }

        // Only once: one notice, then the sink is let go.
        ASSERT_EQ(v->SetAdvise(DVASPECT_CONTENT, ADVF_ONLYONCE, &sink), S_OK);
        EXPECT_EQ(o->SetExtent(DVASPECT_CONTENT, &a), S_OK);
        EXPECT_EQ(o->SetExtent(DVASPECT_CONTENT, &b), S_OK);
        EXPECT_EQ(sink.viewChanges, 4);
        EXPECT_EQ(v->GetAdvise(nullptr, nullptr, held.out()), S_OK);
        EXPECT_EQ(held.get(), nullptr);
        EXPECT_EQ(sink.refs, 1);

        // A sink for another aspect hears nothing of the content.
        ASSERT_EQ(v->SetAdvise(DVASPECT_ICON, 0, &sink), S_OK);
        EXPECT_EQ(o->SetExtent(DVASPECT_CONTENT, &a), S_OK);
        EXPECT_EQ(sink.viewChanges, 4);
        ASSERT_EQ(v->SetAdvise(DVASPECT_CONTENT, 0, nullptr), S_OK);
        EXPECT_EQ(sink.refs, 1);
        ASSERT_EQ(v->SetAdvise(DVASPECT_CONTENT, 0, &sink), S_OK);
    }
    EXPECT_EQ(sink.refs, 1) << "released with the object";
}

} // namespace
