// The two graph pop-ups: the plain one of the original run-time
// (YGraphPopup) and the one with the program's choices above the graph.
#include "graphpopup.h"

#include "graphdialog.h"
#include "popups.h"
#include "uistate.h"

using namespace kui;

namespace {

bool Scripted()
{
    return PopupsScripted() || !IsInitialised();
}

// A test sees every graph as a "graph" pop-up with its points; the points are
// copied only when the pop-up is scripted (nobody looks at them otherwise).
bool RecordGraph(const char *title, const void *values, int64_t count, bool isFloat)
{
    ui_test::Popup rec{"graph", title ? title : "", "", static_cast<int>(count), {}};
    const bool scripted = Scripted();
    if (scripted) {
        rec.values.resize(count);
        for (int64_t i = 0; i < count; ++i)
            rec.values[i] = isFloat ? static_cast<const float *>(values)[i] : static_cast<const double *>(values)[i];
    }
    RecordPopup(std::move(rec));
    return scripted;
}

// The first view of a scripted pop-up, computed here as the dialog would.
GraphTracePtr ComputeFirst(const GraphPopupSetup &setup)
{
    std::vector<int> values;
    for (const GraphChoice &c : setup.choices)
        values.push_back(c.value);
    GraphProgress progress;
    std::string error;
    GraphTracePtr first = setup.compute(values, progress, error);
    if (!first && !error.empty())
        MessagePopup("Error", error.c_str());
    return first;
}

}  // namespace

int YGraphPopup(const char *title, const void *values, int count, int dataType)
{
    if (count < 0 || (count > 0 && !values))
        return UIEInvalidValue;
    if (dataType != VAL_FLOAT && dataType != VAL_DOUBLE)
        return UIEInvalidValue;
    if (QuitRequested())
        return 0;
    const bool isFloat = dataType == VAL_FLOAT;
    if (RecordGraph(title, values, count, isFloat))
        return 0;
    GraphDialog dlg(DialogParent(), QString::fromUtf8(title ? title : ""),
                    std::make_shared<GraphData>(values, count, isFloat, GraphAxes()), nullptr);
    dlg.exec();
    return 0;
}

int GraphPopup(const GraphPopupSetup &setup)
{
    GraphTracePtr first = setup.first;
    if (first ? first->count < 0 || (first->count > 0 && !first->values) : !setup.compute)
        return UIEInvalidValue;
    // The program is ending: no new pop-up (one that is open closes as if
    // cancelled, and its computation is stopped as the dialog goes).
    if (QuitRequested())
        return 0;
    if (!first && Scripted() && !(first = ComputeFirst(setup)))
        return UIEOutOfMemory;
    if (RecordGraph(setup.title.c_str(), first ? first->values.get() : nullptr, first ? first->count : 0, false))
        return 0;
    GraphDialog dlg(DialogParent(), QString::fromStdString(setup.title),
                    first ? MakeGraphData(first) : std::make_shared<GraphData>(nullptr, 0, false, GraphAxes()), &setup);
    dlg.exec();
    return dlg.firstViewFailed() ? UIEOutOfMemory : 0;
}
