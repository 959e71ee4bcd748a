// The control's design-time picture and its view: pixels drawn into a memory device context (the
// frame over the bounds, "CSV" centred on the midpoint with its baseline there), the caller's text
// alignment left as it was, a Windows metafile's records, refused draws, and the view's change
// notifications.
#include "ControlTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

using namespace comtest;

namespace {

const int kW = 200, kH = 120;

// A white 24-bit top-down DIB section selected into a memory device context.
class Canvas {
public:
    Canvas() {
        BITMAPINFO bi = {};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), kW, -kH, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), 0, 0);
        SelectObject(dc_, bmp_);
        std::memset(bits_, 0xFF, size_t(stride_) * kH);
    }
    ~Canvas() {
        DeleteDC(dc_);
        DeleteObject(bmp_);
    }
    HDC dc() const { return dc_; }
    bool dark(int x, int y) const {
        GdiFlush();
        const BYTE* p = bits_ + y * stride_ + x * 3;
        return p[0] + p[1] + p[2] < 384;
    }
    // Dark pixels inside r: how many, and the smallest box around them.
    RECT darkBox(const RECT& r, int* count) const {
        RECT b = {kW, kH, -1, -1};
        *count = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (dark(x, y)) {
                    ++*count;
                    b = RECT{std::min<LONG>(b.left, x), std::min<LONG>(b.top, y),
                             std::max<LONG>(b.right, x), std::max<LONG>(b.bottom, y)};
                }
        return b;
    }

private:
    const int stride_ = (kW * 3 + 3) & ~3;
    HDC dc_ = CreateCompatibleDC(nullptr);
    HBITMAP bmp_;
    BYTE* bits_ = nullptr;
};

HRESULT draw(IUnknown* o, HDC dc, const RECTL* bounds, DWORD aspect = DVASPECT_CONTENT) {
    return query<IViewObject>(o, IID_IViewObject)
        ->Draw(aspect, -1, nullptr, nullptr, nullptr, dc, bounds, nullptr, nullptr, 0);
}

// The picture within r: the frame's four sides with white just outside, and text inside that
// sits on the baseline through the midpoint, centred on the midpoint's x.
void expectPicture(const Canvas& c, const RECTL& r, const std::string& what) {
    const int l = r.left, t = r.top, rt = r.right - 1, b = r.bottom - 1;
    const int mx = (r.left + r.right) / 2, my = (r.top + r.bottom) / 2;
    const std::tuple<int, int, bool, const char*> pixels[] = {
        {l, my, true, "left side"},       {rt, my, true, "right side"},
        {l + 3, t, true, "top side"},     {rt - 3, b, true, "bottom side"},
        {l - 1, my, false, "left of it"}, {rt + 1, my, false, "right of it"},
        {mx, t - 1, false, "above it"},   {mx, b + 1, false, "below it"}};
    for (const auto& [x, y, dark, where] : pixels) {
        if (x < 0 || y < 0 || x >= kW || y >= kH) continue; // outside the canvas
        EXPECT_EQ(c.dark(x, y), dark) << what << where;
    }
    int count = 0;
    const RECT text = c.darkBox(RECT{l + 2, t + 2, rt - 1, b - 1}, &count);
    ASSERT_GT(count, 10) << what << ": no text inside the frame";
    EXPECT_LE(text.bottom, my) << what << ": text below the baseline";
    EXPECT_GE(text.top, my - 24) << what << ": text far above the baseline";
    const int leftHalf = mx - text.left, rightHalf = text.right + 1 - mx;
    EXPECT_GT(leftHalf, 0) << what;
    EXPECT_LE(std::abs(leftHalf - rightHalf), 2) << what << ": text not centred on " << mx;
}

// Drawn at the bounds given, or with none while active in place at the position the container
// gave; the caller's text alignment is left as it was.
TEST(ControlDraw, FrameAndCentredTextAtTheBoundsOrThePosition) {
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
        const std::string what = std::to_string(how) + " at " + std::to_string(r.left) + "," +
                                 std::to_string(r.top) + ": ";
        RECT pos = {r.left, r.top, r.right, r.bottom};
        if (how == DoVerb) o->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, -1, nullptr, &pos);
        if (how == ObjectRects)
            query<IOleInPlaceObject>(o.get(), IID_IOleInPlaceObject)->SetObjectRects(&pos, &pos);
        Canvas c;
        SetTextAlign(c.dc(), start);
        ASSERT_EQ(draw(o.get(), c.dc(), how == Bounds ? &r : nullptr), S_OK) << what;
        EXPECT_EQ(GetTextAlign(c.dc()), start) << what << "alignment not restored";
        expectPicture(c, r, what);
    }
    EXPECT_EQ(o->Close(OLECLOSE_NOSAVE), S_OK);
    Canvas c;
    EXPECT_EQ(draw(o.get(), c.dc(), nullptr), E_INVALIDARG) << "closed: no longer active";
    EXPECT_EQ(o->SetClientSite(nullptr), S_OK);
}

TEST(ControlDraw, RefusedDrawsLeaveTheSurfaceAlone) {
    Ref<IQuenlixCsv> o = newCsv();
    Canvas c;
    const RECTL r = {0, 0, kW, kH};
    const std::tuple<DWORD, HDC, const RECTL*, HRESULT> cases[] = {
        {DVASPECT_ICON, c.dc(), &r, DV_E_DVASPECT},
        {DVASPECT_CONTENT, nullptr, &r, E_INVALIDARG},
        {DVASPECT_CONTENT, c.dc(), nullptr, E_INVALIDARG}, // no bounds while not active
    };
    for (const auto& [aspect, dc, bounds, want] : cases) {
        int count = -1;
        EXPECT_EQ(draw(o.get(), dc, bounds, aspect), want) << aspect;
        c.darkBox(RECT{0, 0, kW, kH}, &count);
        EXPECT_EQ(count, 0) << aspect;
    }
}

// A Windows metafile being recorded cannot report its text alignment; the picture sets the one a
// played-back metafile starts from after its text.
TEST(ControlDraw, WindowsMetafileRecordsFrameTextAndAlignments) {
    HDC wdc = CreateMetaFileW(nullptr);
    const RECTL r = {0, 0, 100, 60};
    EXPECT_EQ(draw(newCsv().get(), wdc, &r), S_OK);
    HMETAFILE wmf = CloseMetaFile(wdc);
    std::vector<BYTE> bytes(GetMetaFileBitsEx(wmf, 0, nullptr));
    GetMetaFileBitsEx(wmf, UINT(bytes.size()), bytes.data());
    DeleteMetaFile(wmf);
    std::vector<DWORD> functions, alignments;
    for (size_t at = sizeof(METAHEADER); at + 8 <= bytes.size();) {
        const METARECORD* rec = reinterpret_cast<const METARECORD*>(&bytes[at]);
        if (rec->rdFunction == META_SETTEXTALIGN) alignments.push_back(rec->rdParm[0]);
        if (rec->rdFunction == META_RECTANGLE || rec->rdFunction == META_EXTTEXTOUT ||
            rec->rdFunction == META_TEXTOUT)
            functions.push_back(rec->rdFunction == META_RECTANGLE ? 1 : 2);
        at += rec->rdSize < 3 ? bytes.size() : rec->rdSize * 2;
    }
    EXPECT_EQ(functions, (std::vector<DWORD>{1, 2})) << "the frame, then the text";
    EXPECT_EQ(alignments, (std::vector<DWORD>{TA_CENTER | TA_BASELINE, 0}));
}

// The view sink hears of each change of the extent: primed at once when it asks, once only when it
// asks, and not at all when it advised another aspect.
TEST(ControlView, ViewSinkHearsOfExtentChanges) {
    TestSink sink;
    Ref<IViewObject> v = newControl<IViewObject>(IID_IViewObject);
    Ref<IOleObject> o = query<IOleObject>(v.get(), IID_IOleObject);
    ASSERT_EQ(v->SetAdvise(DVASPECT_CONTENT, ADVF_PRIMEFIRST, &sink), S_OK);
    EXPECT_EQ(sink.log, "OnViewChange(1,-1) ");
    DWORD aspects = 0, advf = 0;
    Ref<IAdviseSink> held;
    EXPECT_EQ(v->GetAdvise(&aspects, &advf, held.out()), S_OK);
    EXPECT_EQ(std::make_tuple(held.get(), aspects, advf),
              std::make_tuple(static_cast<IAdviseSink*>(&sink), DWORD(DVASPECT_CONTENT),
                              DWORD(ADVF_PRIMEFIRST)));
    held.reset();
    // The extent written (after a new advise, when given), then the notices so far.
    const std::tuple<LONG, DWORD, DWORD, int> steps[] = {
        {100, 0, 0, 2}, {100, 0, 0, 2},
        {200, 0, 0, 3}, {100, DVASPECT_CONTENT, ADVF_ONLYONCE, 4},
        {200, 0, 0, 4}, {100, DVASPECT_ICON, 0, 4}};
    for (const auto& [cx, adviseAspect, adviseFlags, changes] : steps) {
        EXPECT_EQ(adviseAspect ? v->SetAdvise(adviseAspect, adviseFlags, &sink) : S_OK, S_OK);
        SIZEL s = {cx, 100};
        EXPECT_EQ(o->SetExtent(DVASPECT_CONTENT, &s), S_OK);
        EXPECT_EQ(sink.viewChanges, changes) << cx << " " << adviseFlags;
    }
    EXPECT_EQ(sink.refs, 2);
    o.reset();
    v.reset();
    EXPECT_EQ(sink.refs, 1) << "released with the object";
}

} // namespace
