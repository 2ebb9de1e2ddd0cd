#include "state/uibuild.h"

namespace {

constexpr double kDesignWidth = 1280.0;
constexpr double kDesignHeight = 996.0;

}  // namespace

int NewColoredPanel(int parent, const char *title, int top, int left, int height, int width,
                    int color)
{
    int p = NewPanel(parent, title, top, left, height, width);
    if (p < 0)
        return p;
    UI_TRY(SetPanelAttribute(p, ATTR_BACKCOLOR, color));
    return p;
}

int SizeCtrl(int panel, int ctrl, int width, int height)
{
    UI_TRY(SetCtrlAttribute(panel, ctrl, ATTR_WIDTH, width));
    if (height > 0)
        UI_TRY(SetCtrlAttribute(panel, ctrl, ATTR_HEIGHT, height));
    return 0;
}

int SetNumeric(int panel, int ctrl, const Numeric &n)
{
    // The data type comes first: switching a numeric to floating point
    // resets its precision, which the explicit one below then overrides.
    if (n.dataType != 0)
        UI_TRY(SetCtrlAttribute(panel, ctrl, ATTR_DATA_TYPE, n.dataType));
    if (n.indicator)
        UI_TRY(SetCtrlAttribute(panel, ctrl, ATTR_CTRL_MODE, VAL_INDICATOR));
    UI_TRY(SetCtrlAttribute(panel, ctrl, ATTR_MIN_VALUE, n.min));
    UI_TRY(SetCtrlAttribute(panel, ctrl, ATTR_MAX_VALUE, n.max));
    UI_TRY(SetCtrlAttribute(panel, ctrl, ATTR_INCR_VALUE, n.incr));
    if (n.precision >= 0)
        UI_TRY(SetCtrlAttribute(panel, ctrl, ATTR_PRECISION, n.precision));
    UI_TRY(SetCtrlAttribute(panel, ctrl, ATTR_DEFAULT_VALUE, n.def));
    return DefaultCtrl(panel, ctrl);
}

int NewNumeric(int panel, int &id, const char *label, At at, int width, const Numeric &n)
{
    UI_NEW(id, NewCtrl(panel, CTRL_NUMERIC, label, at.top, at.left));
    UI_TRY(SizeCtrl(panel, id, width));
    return SetNumeric(panel, id, n);
}

int NewButton(int panel, int &id, const char *label, At at, int width, int height, int dimmed)
{
    UI_NEW(id, NewCtrl(panel, CTRL_COMMAND_BUTTON, label, at.top, at.left));
    if (width > 0)
        UI_TRY(SizeCtrl(panel, id, width, height));
    if (dimmed)
        UI_TRY(SetCtrlAttribute(panel, id, ATTR_DIMMED, 1));
    return 0;
}

int NewStringIndicator(int panel, int &id, const char *label, At at, int width)
{
    UI_NEW(id, NewCtrl(panel, CTRL_STRING, label, at.top, at.left));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_CTRL_MODE, VAL_INDICATOR));
    return SizeCtrl(panel, id, width);
}

int NewTextMsg(int panel, int &id, At at, const char *text)
{
    UI_NEW(id, NewCtrl(panel, CTRL_TEXT_MSG, "", at.top, at.left));
    return SetCtrlVal(panel, id, text);
}

int NewSwitch(int panel, int &id, const char *label, At at, const Switch &sw)
{
    UI_NEW(id, NewCtrl(panel, CTRL_BINARY_SWITCH, label, at.top, at.left));
    UI_TRY(SizeCtrl(panel, id, sw.width, sw.height));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_ON_VALUE, sw.on));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_OFF_VALUE, sw.off));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_ON_TEXT, sw.onText));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_OFF_TEXT, sw.offText));
    return SetCtrlVal(panel, id, sw.initial);
}

int NewIntRing(int panel, int &id, const char *label, At at, int width,
               const std::vector<RingItem> &items, int defaultIndex)
{
    UI_NEW(id, NewCtrl(panel, CTRL_RING, label, at.top, at.left));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_DATA_TYPE, VAL_INTEGER));
    UI_TRY(SizeCtrl(panel, id, width));
    for (const RingItem &item : items)
        UI_TRY(InsertListItem(panel, id, -1, item.label, item.value));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_DEFAULT_INDEX, defaultIndex));
    return DefaultCtrl(panel, id);
}

int InstallCallback(int panel, CtrlCallbackPtr cb, std::initializer_list<int> ctrls)
{
    for (int id : ctrls)
        UI_TRY(SetCtrlAttribute(panel, id, ATTR_CALLBACK_FUNCTION_POINTER, cb));
    return 0;
}

int SetTabOrder(int panel, std::initializer_list<int> ctrls)
{
    int pos = 0;
    for (int id : ctrls)
        UI_TRY(SetCtrlAttribute(panel, id, ATTR_CTRL_TAB_POSITION, pos++));
    return 0;
}

int FinishPanel(int panel, CtrlCallbackPtr cb, std::initializer_list<int> live,
                std::initializer_list<int> tabOrder)
{
    UI_TRY(InstallCallback(panel, cb, live));
    UI_TRY(SetTabOrder(panel, tabOrder));
    return ScalePanel(panel);
}

void RunCtrlAction(int control, std::initializer_list<CtrlAction> actions)
{
    for (const CtrlAction &action : actions) {
        if (action.ctrl == control) {
            action.run();
            return;
        }
    }
}

int ScalePanel(int panel)
{
    int percent = 0;
    UI_TRY(GetSystemAttribute(ATTR_RESOLUTION_ADJUSTMENT, &percent));
    if (percent == -1 || percent == 0)
        return 0;
    int monitor = 0, screenW = 0, screenH = 0;
    UI_TRY(GetMonitorFromPanel(panel, &monitor));
    UI_TRY(GetMonitorAttribute(monitor, ATTR_SYSTEM_MONITOR_WIDTH, &screenW));
    UI_TRY(GetMonitorAttribute(monitor, ATTR_SYSTEM_MONITOR_HEIGHT, &screenH));
    double fh = 1.0 + 0.01 * percent * (screenW / kDesignWidth - 1.0);
    double fv = 1.0 + 0.01 * percent * (screenH / kDesignHeight - 1.0);

    int top = 0, left = 0, width = 0, height = 0;
    UI_TRY(GetPanelAttribute(panel, ATTR_TOP, &top));
    UI_TRY(GetPanelAttribute(panel, ATTR_LEFT, &left));
    UI_TRY(GetPanelAttribute(panel, ATTR_WIDTH, &width));
    UI_TRY(GetPanelAttribute(panel, ATTR_HEIGHT, &height));
    UI_TRY(SetPanelAttribute(panel, ATTR_WIDTH, static_cast<int>(width * fh)));
    UI_TRY(SetPanelAttribute(panel, ATTR_LEFT, static_cast<int>(left * fh)));
    UI_TRY(SetPanelAttribute(panel, ATTR_HEIGHT, static_cast<int>(height * fv)));
    UI_TRY(SetPanelAttribute(panel, ATTR_TOP, static_cast<int>(top * fv)));
    return 0;
}
