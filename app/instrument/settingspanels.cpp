// Builders of the five analyzer settings panels.  Each panel lies inside the
// trace panel at the same place; the rows every model shares (filter type,
// bandwidth, trigger, pretrigger, count) come from the helpers below, so the
// builders only say what differs.
#include "instrument/settings.h"

#include "state/uibuild.h"

#include <iterator>

int AG_DATTYP, AG_RBW, AG_SRAT, AG_TRGMOD, AG_TRGSLP, AG_TRGOFS, AG_RECLEN, AG_CNT;
int BY_FLTTYP, BY_RBW, BY_SRAT, BY_TRGMOD, BY_TRGSLP, BY_PRETRG, BY_CNT;
int CL_FLTTYP, CL_RBW, CL_SRAT, CL_TRGMOD, CL_TRGSLP, CL_PRETRG, CL_CNT;
int OX_FLTTYP, OX_RBW, OX_SRAT, OX_TRGMOD, OX_TRGSLP, OX_PRETRG, OX_CNT;
int JA_FLTTYP, JA_RBW, JA_TRGMOD, JA_TRGSLP, JA_PRETRG, JA_SRAT, JA_CNT, JA_LPAS, JA_DITH, JA_IMP,
    JA_BAL, JA_IQINP;

namespace {

// Two rows of four fields; captions sit above each field.
constexpr int kRow1 = 18, kRow2 = 58;
constexpr int kCol[] = {6, 100, 194, 306};
constexpr int kFieldWidth = 88;

struct Item {
    const char *label;
    const char *token;   // SCPI token of a string ring
    double value;        // value of a float ring
};

const Item kTrgModAgate[] = {{"IMMediate", "IMM", 0}, {"EXTernal", "EXT", 0}, {"VIDeo", "VID", 0}};
const Item kTrgModCommon[] = {{"IMMediate", "IMM", 0}, {"EXTernal", "EXT", 0}};
const Item kTrgModJasper[] = {
    {"IMMediate", "IMM", 0}, {"EXTernal", "EXT", 0}, {"IFPower", "IFP", 0}, {"RFPower", "RFP", 0}};
const Item kSlopeBoth[] = {{"POSitive", "POS", 0}, {"NEGative", "NEG", 0}};
const Item kSlopePos[] = {{"POSitive", "POS", 0}};
const Item kNormal[] = {{"NORMal", "NORM", 0}};
const Item kRaw[] = {{"RAW", "RAW", 0}};
const Item kRbwAgate[] = {{"8 MHz", nullptr, 8000000}};
const Item kRbwCoral[] = {{"50 MHz", nullptr, 50000000}, {"20 MHz", nullptr, 20000000},
                          {"10 MHz", nullptr, 10000000}, {"3 MHz", nullptr, 3000000},
                          {"1 MHz", nullptr, 1000000},   {"300 kHz", nullptr, 300000}};
const Item kSRatRing[] = {
    {"15.625 kHz", nullptr, 15625},  {"31.25 kHz", nullptr, 31250}, {"62.5 kHz", nullptr, 62500},
    {"125 kHz", nullptr, 125000},    {"250 kHz", nullptr, 250000},  {"500 kHz", nullptr, 500000},
    {"1 MHz", nullptr, 1000000},     {"2 MHz", nullptr, 2000000},   {"4 MHz", nullptr, 4000000},
    {"8 MHz", nullptr, 8000000},     {"16 MHz", nullptr, 16000000}, {"32 MHz", nullptr, 32000000}};

// A ring of string tokens or of float values, starting on item `start`.
int NewRing(int p, int &id, const char *label, At at, const Item *items, int n, int start,
            CtrlCallbackPtr cb = nullptr)
{
    UI_NEW(id, NewCtrl(p, CTRL_RING, label, at.top, at.left));
    const bool text = items[0].token != nullptr;
    UI_TRY(SetCtrlAttribute(p, id, ATTR_DATA_TYPE, text ? VAL_STRING : VAL_FLOAT));
    UI_TRY(SizeCtrl(p, id, kFieldWidth));
    for (int i = 0; i < n; ++i) {
        if (text)
            UI_TRY(InsertListItem(p, id, -1, items[i].label, items[i].token));
        else
            UI_TRY(InsertListItem(p, id, -1, items[i].label, items[i].value));
    }
    UI_TRY(SetCtrlAttribute(p, id, ATTR_DEFAULT_INDEX, start));
    UI_TRY(DefaultCtrl(p, id));
    if (cb)
        UI_TRY(SetCtrlAttribute(p, id, ATTR_CALLBACK_FUNCTION_POINTER, cb));
    return 0;
}

template <size_t N>
int NewRing(int p, int &id, const char *label, At at, const Item (&items)[N], int start,
            CtrlCallbackPtr cb = nullptr)
{
    return NewRing(p, id, label, at, items, static_cast<int>(N), start, cb);
}

struct Range {
    double lo, hi, def;
    int precision;   // -1: integer numeric
};

// A numeric field of the row's width; integers step by one, the others
// show `precision` decimals.
int NewField(int p, int &id, const char *label, At at, Range r, CtrlCallbackPtr cb = nullptr)
{
    const bool integer = r.precision < 0;
    UI_TRY(NewNumeric(p, id, label, at, kFieldWidth,
                      {.dataType = integer ? VAL_INTEGER : VAL_FLOAT, .min = r.lo, .max = r.hi,
                       .def = r.def, .precision = r.precision}));
    if (cb)
        UI_TRY(SetCtrlAttribute(p, id, ATTR_CALLBACK_FUNCTION_POINTER, cb));
    return 0;
}

int NewPanelFrame(int parent, const char *title)
{
    return NewColoredPanel(parent, title, 97, 10, 87, 402);
}

constexpr Range kPreTrg{0, 65023, 0, -1};
constexpr Range kCountBuilt{1, kCoralMaxCount, 65536, -1};

// Row r (kRow1, kRow2), column c (0..3), nudged right by `dx`.
constexpr At Cell(int r, int c, int dx = 0)
{
    return {r, kCol[c] + dx};
}

// The identifiers of one Beryl-like panel.
struct CommonIds {
    int &flt, &rbw, &srat, &trgmod, &trgslp, &pretrg, &cnt;
};

// Beryl, Coral and Onyx differ only in their bandwidths and callback.
int BuildCommon(int parent, const char *title, const CommonIds &id, const Item *rbw, int nRbw,
                CtrlCallbackPtr cb)
{
    int p;
    UI_NEW(p, NewPanelFrame(parent, title));
    UI_TRY(NewRing(p, id.flt, "Filter Type", Cell(kRow1, 0), kNormal, 0));
    // Every bandwidth ring starts on its fourth item (300 kHz or 3 MHz).
    UI_TRY(NewRing(p, id.rbw, "Resolution BW", Cell(kRow1, 1), rbw, nRbw, 3, cb));
    UI_TRY(NewRing(p, id.srat, "Sample Rate", Cell(kRow1, 2), kSRatRing,
                   static_cast<int>(std::size(kSRatRing)) - 1, cb));
    UI_TRY(NewRing(p, id.trgmod, "Trigger Mode", Cell(kRow2, 0), kTrgModCommon, 0, cb));
    UI_TRY(NewRing(p, id.trgslp, "Trigger Slope", Cell(kRow2, 1), kSlopePos, 0));
    UI_TRY(NewField(p, id.pretrg, "Pretrig. Samples", Cell(kRow2, 2), kPreTrg, cb));
    UI_TRY(NewField(p, id.cnt, "Count", Cell(kRow2, 3), kCountBuilt, cb));
    UI_TRY(ScalePanel(p));
    return p;
}

int NewCheckBox(int p, int &id, const char *label, int left, int dimmed)
{
    UI_NEW(id, NewCtrl(p, CTRL_CHECK_BOX, label, kRow1 + 2, left));
    UI_TRY(SizeCtrl(p, id, 13, 13));
    UI_TRY(SetCtrlVal(p, id, 0));
    UI_TRY(SetCtrlAttribute(p, id, ATTR_DIMMED, dimmed));
    UI_TRY(SetCtrlAttribute(p, id, ATTR_CALLBACK_FUNCTION_POINTER, cbJasper));
    return 0;
}

// The bandwidths of the Beryl and Onyx: the Coral's without its two widest.
const Item *const kRbwNarrow = kRbwCoral + 2;
constexpr int kNarrowCount = static_cast<int>(std::size(kRbwCoral)) - 2;

}  // namespace

int BuildAG(int parent)
{
    int p;
    UI_NEW(p, NewPanelFrame(parent, "Agate"));
    UI_TRY(NewRing(p, AG_DATTYP, "Data Type", Cell(kRow1, 0), kRaw, 0));
    UI_TRY(NewRing(p, AG_RBW, "Resolution BW", Cell(kRow1, 1), kRbwAgate, 0));
    UI_TRY(NewField(p, AG_SRAT, "Sample Rate/kHz", Cell(kRow1, 2), {40.0, 32000.0, 32000.0, 3}, cbAgate));
    UI_TRY(NewRing(p, AG_TRGMOD, "Trigger Mode", Cell(kRow1, 3), kTrgModAgate, 0, cbAgate));
    UI_TRY(NewRing(p, AG_TRGSLP, "Trigger Slope", Cell(kRow2, 0), kSlopeBoth, 0, cbAgate));
    UI_TRY(NewField(p, AG_TRGOFS, "Trigger Offset/ms", Cell(kRow2, 1), {-0.59, 2.5, 0.0, 2}, cbAgate));
    // Nudged right: the offset's caption is the widest of the row.
    UI_TRY(NewField(p, AG_RECLEN, "Record Len / ms", Cell(kRow2, 2, 14), {0.001, 20.4, 1.0, 4}, cbAgate));
    UI_TRY(NewField(p, AG_CNT, "Count", Cell(kRow2, 3, 6), {0, kAgateMaxCount, 32000, -1}));
    UI_TRY(ScalePanel(p));
    return p;
}

int BuildBY(int parent)
{
    const CommonIds id{BY_FLTTYP, BY_RBW, BY_SRAT, BY_TRGMOD, BY_TRGSLP, BY_PRETRG, BY_CNT};
    return BuildCommon(parent, "Beryl", id, kRbwNarrow, kNarrowCount, cbBeryl);
}

int BuildCL(int parent)
{
    const CommonIds id{CL_FLTTYP, CL_RBW, CL_SRAT, CL_TRGMOD, CL_TRGSLP, CL_PRETRG, CL_CNT};
    return BuildCommon(parent, "Coral", id, kRbwCoral, static_cast<int>(std::size(kRbwCoral)), cbCoral);
}

int BuildOX(int parent)
{
    const CommonIds id{OX_FLTTYP, OX_RBW, OX_SRAT, OX_TRGMOD, OX_TRGSLP, OX_PRETRG, OX_CNT};
    return BuildCommon(parent, "Onyx", id, kRbwNarrow, kNarrowCount, cbOnyx);
}

int BuildJA(int parent)
{
    int p;
    UI_NEW(p, NewPanelFrame(parent, "Jasper"));
    UI_TRY(NewRing(p, JA_FLTTYP, "Filter Type", Cell(kRow1, 0), kNormal, 0));
    UI_TRY(NewRing(p, JA_RBW, "Resolution BW", Cell(kRow1, 1), kRbwCoral, 3, cbJasper));
    UI_TRY(NewRing(p, JA_TRGMOD, "Trigger Mode", Cell(kRow2, 0), kTrgModJasper, 0, cbJasper));
    UI_TRY(NewRing(p, JA_TRGSLP, "Trigger Slope", Cell(kRow2, 1), kSlopePos, 0));
    UI_TRY(NewField(p, JA_PRETRG, "Pretrig. Samples", Cell(kRow2, 2), kPreTrg, cbJasper));
    // The rate field stands where the other panels have their rate ring.
    UI_TRY(NewField(p, JA_SRAT, "Sample Rate/kHz", Cell(kRow1, 2), {10.0, 81600.0, 10000.0, 3}, cbJasper));
    UI_TRY(NewField(p, JA_CNT, "Count", Cell(kRow2, 3), {1, kJasperMaxCount, 65536, -1}, cbJasper));
    // Baseband input boxes in a row at the top right; only "IQ" is live
    // before a device test has found option M34.
    UI_TRY(NewCheckBox(p, JA_LPAS, "LP", 308, 1));
    UI_TRY(NewCheckBox(p, JA_DITH, "Dith", 325, 1));
    UI_TRY(NewCheckBox(p, JA_IMP, "Imp", 342, 1));
    UI_TRY(NewCheckBox(p, JA_BAL, "Bal", 360, 1));
    UI_TRY(NewCheckBox(p, JA_IQINP, "IQ", 378, 0));
    UI_TRY(ScalePanel(p));
    return p;
}
