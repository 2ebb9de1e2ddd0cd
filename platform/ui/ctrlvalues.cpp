// Control values.  Setting a value never calls the control's callback.
#include "uistate.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace kui;

namespace {

int FindRingValue(const Ctrl &c, double v)
{
    for (size_t i = 0; i < c.items.size(); ++i)
        if (RingValueMatches(c, c.items[i], v))
            return static_cast<int>(i);
    return -1;
}

int FindRingString(const Ctrl &c, const std::string &v)
{
    for (size_t i = 0; i < c.items.size(); ++i)
        if (c.items[i].str == v)
            return static_cast<int>(i);
    return -1;
}

int ToInt(double v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
}

// Every setter: the control takes the value as its kind demands (take is
// TakeNumber or TakeText), and shows it only when it did.
template <class V>
int SetValue(int panel, int ctrl, V value, int (*take)(Ctrl &, V))
{
    int rc;
    Ctrl *c = LookupCtrl(panel, ctrl, &rc);
    if (!c)
        return rc;
    rc = take(*c, value);
    if (rc == 0)
        RefreshCtrl(*c);
    return rc;
}

// The narrower getters read the value as a double and convert it.
template <class T, class Convert>
int GetConverted(int panel, int ctrl, T *value, Convert convert)
{
    double d = 0;
    const int rc = GetCtrlVal(panel, ctrl, &d);
    if (rc == 0 && value)
        *value = convert(d);
    return rc;
}

}  // namespace

namespace kui {

// The value a person or the program gives a control, checked as the kind
// demands; false when the control does not take it.
int TakeNumber(Ctrl &c, double v)
{
    switch (c.kind) {
    case CTRL_RING: {
        if (c.dataType == VAL_STRING)
            return UIEInvalidValue;
        const int i = FindRingValue(c, v);
        if (i < 0)
            return UIEInvalidValue;
        c.index = i;
        return 0;
    }
    case CTRL_NUMERIC:
        c.num = StoreAsType(c.dataType, ClampNumeric(c, v));
        return 0;
    case CTRL_BINARY_SWITCH:
        // Anything but the on value is off, as a two-state switch can show.
        c.num = v == c.onVal ? c.onVal : c.offVal;
        return 0;
    case CTRL_ROUND_LED:
    case CTRL_CHECK_BOX:
        c.num = v != 0 ? 1 : 0;
        return 0;
    case CTRL_PERCENTAGE_BAR:
        c.num = std::isnan(v) ? 0 : std::clamp(v, 0.0, 100.0);
        return 0;
    case CTRL_COMMAND_BUTTON:
        c.num = v != 0 ? 1 : 0;
        return 0;
    default:
        return UIEInvalidValue;
    }
}

int TakeText(Ctrl &c, const char *value)
{
    const std::string v = value ? value : "";
    switch (c.kind) {
    case CTRL_STRING:
        c.text = c.maxLen > 0 && v.size() > static_cast<size_t>(c.maxLen) ? v.substr(0, c.maxLen) : v;
        return 0;
    case CTRL_TEXT_MSG:
        c.text = v;
        return 0;
    case CTRL_RING: {
        if (c.dataType != VAL_STRING)
            return UIEInvalidValue;
        const int i = FindRingString(c, v);
        if (i < 0)
            return UIEInvalidValue;
        c.index = i;
        return 0;
    }
    default:
        return UIEInvalidValue;
    }
}

// The control's value as a number, or false for texts.
bool NumberOf(const Ctrl &c, double *v)
{
    if (c.kind == CTRL_RING) {
        if (c.dataType == VAL_STRING || c.index < 0 || c.index >= static_cast<int>(c.items.size()))
            return false;
        *v = c.items[c.index].num;
        return true;
    }
    if (c.kind == CTRL_STRING || c.kind == CTRL_TEXT_MSG || c.kind == CTRL_RAISED_BOX)
        return false;
    *v = c.num;
    return true;
}

}  // namespace kui

int SetCtrlVal(int panel, int ctrl, int value)
{
    return SetCtrlVal(panel, ctrl, static_cast<double>(value));
}

int SetCtrlVal(int panel, int ctrl, double value)
{
    return SetValue(panel, ctrl, value, TakeNumber);
}

int SetCtrlVal(int panel, int ctrl, const char *value)
{
    return SetValue(panel, ctrl, value, TakeText);
}

int GetCtrlVal(int panel, int ctrl, int *value)
{
    return GetConverted(panel, ctrl, value, ToInt);
}

int GetCtrlVal(int panel, int ctrl, float *value)
{
    return GetConverted(panel, ctrl, value, [](double d) { return static_cast<float>(d); });
}

int GetCtrlVal(int panel, int ctrl, double *value)
{
    int rc;
    const Ctrl *c = LookupCtrl(panel, ctrl, value, &rc);
    if (!c)
        return rc;
    return NumberOf(*c, value) ? 0 : UIEInvalidValue;
}

int GetCtrlVal(int panel, int ctrl, char *value)
{
    int rc;
    const Ctrl *c = LookupCtrl(panel, ctrl, value, &rc);
    if (!c)
        return rc;
    const std::string *s = nullptr;
    if (c->kind == CTRL_STRING || c->kind == CTRL_TEXT_MSG)
        s = &c->text;
    else if (c->kind == CTRL_RING && c->dataType == VAL_STRING && c->index >= 0 &&
             c->index < static_cast<int>(c->items.size()))
        s = &c->items[c->index].str;
    if (!s)
        return UIEInvalidValue;
    std::strcpy(value, s->c_str());
    return 0;
}

int DefaultCtrl(int panel, int ctrl)
{
    int rc;
    Ctrl *c = LookupCtrl(panel, ctrl, &rc);
    if (!c)
        return rc;
    switch (c->kind) {
    case CTRL_RING:
        if (!c->items.empty())
            c->index = std::min(c->defIndex, static_cast<int>(c->items.size()) - 1);
        break;
    case CTRL_STRING:
    case CTRL_TEXT_MSG:
        break;
    case CTRL_BINARY_SWITCH:
        c->num = c->defVal == c->onVal ? c->onVal : c->offVal;
        break;
    default:
        TakeNumber(*c, c->defVal);
        break;
    }
    RefreshCtrl(*c);
    return 0;
}
