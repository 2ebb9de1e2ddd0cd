#include "shell/uibuild.h"

#include "userint.h"

namespace {

constexpr double kDesignWidth = 1280.0;
constexpr double kDesignHeight = 996.0;

}  // namespace

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
