// Control attributes.  Changing an attribute never calls the callback.
#include "uistate.h"

#include <QWidget>

#include <algorithm>
#include <cstring>

using namespace kui;

namespace {

int SetNumberAttr(Ctrl &c, int attr, double v)
{
    switch (attr) {
    case ATTR_MIN_VALUE:
        c.minV = v;
        if (c.maxV < c.minV)
            c.maxV = c.minV;
        c.num = ClampNumeric(c, c.num);
        return 0;
    case ATTR_MAX_VALUE:
        c.maxV = v;
        if (c.minV > c.maxV)
            c.minV = c.maxV;
        c.num = ClampNumeric(c, c.num);
        return 0;
    case ATTR_INCR_VALUE:
        if (!(v > 0))
            return UIEInvalidValue;
        c.incr = v;
        return 0;
    case ATTR_DEFAULT_VALUE: c.defVal = v; return 0;
    case ATTR_ON_VALUE: c.onVal = v; return 0;
    case ATTR_OFF_VALUE: c.offVal = v; return 0;
    default: return UIEInvalidAttribute;
    }
}

int SetDataType(Ctrl &c, int type)
{
    if (type != VAL_INTEGER && type != VAL_FLOAT && type != VAL_DOUBLE && type != VAL_STRING)
        return UIEInvalidValue;
    if (c.kind == CTRL_NUMERIC && type == VAL_STRING)
        return UIEInvalidValue;
    if (c.kind == CTRL_RING && !c.items.empty() && (type == VAL_STRING) != (c.dataType == VAL_STRING))
        return UIEInvalidValue;   // the items' values would lose their meaning
    if (c.kind == CTRL_NUMERIC && type != VAL_INTEGER && c.dataType == VAL_INTEGER && c.precision == 0)
        c.precision = 2;
    c.dataType = type;
    c.num = StoreAsType(type, c.num);
    return 0;
}

int SetIntAttr(Ctrl &c, int attr, int value)
{
    switch (attr) {
    case ATTR_DIMMED: c.dimmed = value != 0; return 0;
    case ATTR_VISIBLE: c.visible = value != 0; return 0;
    case ATTR_PRECISION:
        if (value < 0 || value > 15)
            return UIEInvalidValue;
        c.precision = value;
        return 0;
    case ATTR_DEFAULT_INDEX:
        if (c.kind != CTRL_RING || value < 0)
            return UIEInvalidValue;
        c.defIndex = value;
        return 0;
    case ATTR_CTRL_INDEX: return SetCtrlIndex(c.panel, c.id, value);
    case ATTR_DATA_TYPE: return SetDataType(c, value);
    case ATTR_ON_COLOR: c.onColor = value; return 0;
    case ATTR_OFF_COLOR: c.offColor = value; return 0;
    case ATTR_CMD_BUTTON_COLOR: c.buttonColor = value; return 0;
    case ATTR_FILL_COLOR: c.fillColor = value; return 0;
    case ATTR_TEXT_COLOR: c.textColor = value; return 0;
    case ATTR_TEXT_BGCOLOR: c.textBg = value; return 0;
    case ATTR_TEXT_POINT_SIZE: c.pointSize = value; return 0;
    case ATTR_CTRL_MODE: c.mode = value; return 0;
    case ATTR_WIDTH: c.width = value; return 0;
    case ATTR_HEIGHT: c.height = value; return 0;
    case ATTR_TOP: c.top = value; return 0;
    case ATTR_LEFT: c.left = value; return 0;
    case ATTR_CTRL_TAB_POSITION: return SetTabPosition(*FindPanel(c.panel), c.id, value);
    case ATTR_LABEL_POSITION:
        if (value < VAL_LABEL_AUTO || value > VAL_LABEL_RIGHT)
            return UIEInvalidValue;
        c.labelPos = value;
        return 0;
    case ATTR_MAX_ENTRY_LENGTH:
        c.maxLen = value;
        if (value > 0 && c.text.size() > static_cast<size_t>(value))
            c.text.resize(value);
        return 0;
    case ATTR_ZPLANE_POSITION:
        c.zPlane = value;
        if (c.body) {
            if (value > 0)
                c.body->lower();
            else
                c.body->raise();
        }
        return 0;
    default: return SetNumberAttr(c, attr, value);
    }
}

int SetTextAttr(Ctrl &c, int attr, const char *value)
{
    const std::string v = value ? value : "";
    switch (attr) {
    case ATTR_LABEL_TEXT: c.labelText = v; return 0;
    case ATTR_ON_TEXT: c.onText = v; return 0;
    case ATTR_OFF_TEXT: c.offText = v; return 0;
    default: return UIEInvalidAttribute;
    }
}

int GetNumberAttr(const Ctrl &c, int attr, double *v)
{
    switch (attr) {
    case ATTR_MIN_VALUE: *v = c.minV; return 0;
    case ATTR_MAX_VALUE: *v = c.maxV; return 0;
    case ATTR_INCR_VALUE: *v = c.incr; return 0;
    case ATTR_DEFAULT_VALUE: *v = c.defVal; return 0;
    case ATTR_ON_VALUE: *v = c.onVal; return 0;
    case ATTR_OFF_VALUE: *v = c.offVal; return 0;
    default: return UIEInvalidAttribute;
    }
}

int GetIntAttr(const Ctrl &c, int attr, int *v)
{
    switch (attr) {
    case ATTR_DIMMED: *v = c.dimmed; return 0;
    case ATTR_VISIBLE: *v = c.visible; return 0;
    case ATTR_PRECISION: *v = c.precision; return 0;
    case ATTR_DEFAULT_INDEX: *v = c.defIndex; return 0;
    case ATTR_CTRL_INDEX: *v = c.index; return c.kind == CTRL_RING ? 0 : UIEInvalidAttribute;
    case ATTR_NUM_ITEMS: *v = static_cast<int>(c.items.size()); return c.kind == CTRL_RING ? 0 : UIEInvalidAttribute;
    case ATTR_DATA_TYPE: *v = c.dataType; return 0;
    case ATTR_ON_COLOR: *v = c.onColor; return 0;
    case ATTR_OFF_COLOR: *v = c.offColor; return 0;
    case ATTR_CMD_BUTTON_COLOR: *v = c.buttonColor; return 0;
    case ATTR_FILL_COLOR: *v = c.fillColor; return 0;
    case ATTR_TEXT_COLOR: *v = c.textColor; return 0;
    case ATTR_TEXT_BGCOLOR: *v = c.textBg; return 0;
    case ATTR_TEXT_POINT_SIZE: *v = c.pointSize; return 0;
    case ATTR_CTRL_MODE: *v = c.mode; return 0;
    case ATTR_WIDTH: *v = c.body ? c.body->width() : c.width; return 0;
    case ATTR_HEIGHT: *v = c.body ? c.body->height() : c.height; return 0;
    case ATTR_TOP: *v = c.top; return 0;
    case ATTR_LEFT: *v = c.left; return 0;
    case ATTR_CTRL_TAB_POSITION: *v = TabPosition(*FindPanel(c.panel), c.id); return 0;
    case ATTR_ZPLANE_POSITION: *v = c.zPlane; return 0;
    case ATTR_MAX_ENTRY_LENGTH: *v = c.maxLen; return 0;
    case ATTR_LABEL_POSITION: *v = c.labelPos; return 0;
    default: {
        double d = 0;
        const int rc = GetNumberAttr(c, attr, &d);
        if (rc == 0)
            *v = static_cast<int>(std::clamp(d, -2147483648.0, 2147483647.0));
        return rc;
    }
    }
}

}  // namespace

int SetCtrlAttribute(int panel, int ctrl, int attr, int value)
{
    Ctrl *c = FindCtrl(panel, ctrl);
    if (!c)
        return MissingCtrl(panel);
    if (attr == ATTR_CTRL_INDEX)
        return SetCtrlIndex(panel, ctrl, value);
    const int rc = SetIntAttr(*c, attr, value);
    if (rc == 0)
        RefreshCtrl(*c);
    return rc;
}

int SetCtrlAttribute(int panel, int ctrl, int attr, double value)
{
    Ctrl *c = FindCtrl(panel, ctrl);
    if (!c)
        return MissingCtrl(panel);
    const int rc = SetNumberAttr(*c, attr, value);
    if (rc == UIEInvalidAttribute)
        return SetCtrlAttribute(panel, ctrl, attr, static_cast<int>(value));
    if (rc == 0)
        RefreshCtrl(*c);
    return rc;
}

int SetCtrlAttribute(int panel, int ctrl, int attr, const char *value)
{
    Ctrl *c = FindCtrl(panel, ctrl);
    if (!c)
        return MissingCtrl(panel);
    const int rc = SetTextAttr(*c, attr, value);
    if (rc == 0)
        RefreshCtrl(*c);
    if (rc == 0 && attr == ATTR_LABEL_TEXT) {
        UpdateCaption(*c);
        PlaceCtrl(*c);
    }
    return rc;
}

int SetCtrlAttribute(int panel, int ctrl, int attr, CtrlCallbackPtr cb)
{
    Ctrl *c = FindCtrl(panel, ctrl);
    if (!c)
        return MissingCtrl(panel);
    if (attr != ATTR_CALLBACK_FUNCTION_POINTER)
        return UIEInvalidAttribute;
    c->cb = cb;
    return 0;
}

int GetCtrlAttribute(int panel, int ctrl, int attr, int *value)
{
    int rc;
    const Ctrl *c = LookupCtrl(panel, ctrl, value, &rc);
    if (!c)
        return rc;
    return GetIntAttr(*c, attr, value);
}

int GetCtrlAttribute(int panel, int ctrl, int attr, double *value)
{
    int rc;
    const Ctrl *c = LookupCtrl(panel, ctrl, value, &rc);
    if (!c)
        return rc;
    rc = GetNumberAttr(*c, attr, value);
    if (rc != UIEInvalidAttribute)
        return rc;
    int i = 0;
    const int rc2 = GetIntAttr(*c, attr, &i);
    if (rc2 == 0)
        *value = i;
    return rc2;
}

int GetCtrlAttribute(int panel, int ctrl, int attr, char *value)
{
    int rc;
    const Ctrl *c = LookupCtrl(panel, ctrl, value, &rc);
    if (!c)
        return rc;
    const std::string *s = nullptr;
    switch (attr) {
    case ATTR_LABEL_TEXT: s = &c->labelText; break;
    case ATTR_ON_TEXT: s = &c->onText; break;
    case ATTR_OFF_TEXT: s = &c->offText; break;
    default: return UIEInvalidAttribute;
    }
    std::strcpy(value, s->c_str());
    return 0;
}

int InstallCtrlCallback(int panel, int ctrl, CtrlCallbackPtr cb, void *callbackData)
{
    Ctrl *c = FindCtrl(panel, ctrl);
    if (!c)
        return MissingCtrl(panel);
    c->cb = cb;
    c->cbData = callbackData;
    return 0;
}
