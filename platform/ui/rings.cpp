// Ring items: a label and a value in the ring's data type.
#include "uistate.h"

#include <QComboBox>
#include <QSignalBlocker>

#include <cstring>

using namespace kui;

namespace {

Ctrl *Ring(int panel, int ctrl, int *rc)
{
    Ctrl *c = LookupCtrl(panel, ctrl, rc);
    if (!c)
        return nullptr;
    if (c->kind != CTRL_RING) {
        *rc = UIEInvalidControl;
        return nullptr;
    }
    return c;
}

int Insert(int panel, int ctrl, int index, const char *label, RingItem item, bool isText)
{
    int rc;
    Ctrl *c = Ring(panel, ctrl, &rc);
    if (!c)
        return rc;
    if (isText != (c->dataType == VAL_STRING))
        return UIEInvalidValue;
    const int n = static_cast<int>(c->items.size());
    if (index < -1 || index > n)
        return UIEInvalidValue;
    const int at = index == -1 ? n : index;
    item.label = label ? label : "";
    if (!isText)
        item.num = StoreAsType(c->dataType, item.num);
    c->items.insert(c->items.begin() + at, item);
    {
        auto *combo = static_cast<QComboBox *>(c->body.data());
        const QSignalBlocker block(combo);
        combo->insertItem(at, QString::fromStdString(item.label));
    }
    // The first item becomes current; a later insert keeps the same item current.
    if (c->index < 0)
        c->index = 0;
    else if (at <= c->index)
        ++c->index;
    RefreshCtrl(*c);
    return 0;
}

const RingItem *Item(int panel, int ctrl, int index, int *rc)
{
    Ctrl *c = Ring(panel, ctrl, rc);
    if (!c)
        return nullptr;
    if (index < 0 || index >= static_cast<int>(c->items.size())) {
        *rc = UIEInvalidValue;
        return nullptr;
    }
    return &c->items[index];
}

}  // namespace

int InsertListItem(int panel, int ctrl, int index, const char *label, int value)
{
    RingItem it;
    it.num = value;
    return Insert(panel, ctrl, index, label, it, false);
}

int InsertListItem(int panel, int ctrl, int index, const char *label, double value)
{
    RingItem it;
    it.num = value;
    return Insert(panel, ctrl, index, label, it, false);
}

int InsertListItem(int panel, int ctrl, int index, const char *label, const char *value)
{
    RingItem it;
    it.str = value ? value : "";
    return Insert(panel, ctrl, index, label, it, true);
}

int ClearListCtrl(int panel, int ctrl)
{
    int rc;
    Ctrl *c = Ring(panel, ctrl, &rc);
    if (!c)
        return rc;
    c->items.clear();
    c->index = -1;
    {
        auto *combo = static_cast<QComboBox *>(c->body.data());
        const QSignalBlocker block(combo);
        combo->clear();
    }
    RefreshCtrl(*c);
    return 0;
}

int GetNumListItems(int panel, int ctrl, int *count)
{
    int rc;
    Ctrl *c = Ring(panel, ctrl, &rc);
    if (!c)
        return rc;
    if (!count)
        return UIEInvalidValue;
    *count = static_cast<int>(c->items.size());
    return 0;
}

int GetLabelFromIndex(int panel, int ctrl, int index, char *label)
{
    int rc;
    const RingItem *it = Item(panel, ctrl, index, &rc);
    if (!it)
        return rc;
    if (!label)
        return UIEInvalidValue;
    std::strcpy(label, it->label.c_str());
    return 0;
}

int GetValueFromIndex(int panel, int ctrl, int index, int *value)
{
    double d = 0;
    const int rc = GetValueFromIndex(panel, ctrl, index, &d);
    if (rc == 0 && value)
        *value = static_cast<int>(d);
    return rc;
}

int GetValueFromIndex(int panel, int ctrl, int index, double *value)
{
    int rc;
    const RingItem *it = Item(panel, ctrl, index, &rc);
    if (!it)
        return rc;
    if (!value || FindCtrl(panel, ctrl)->dataType == VAL_STRING)
        return UIEInvalidValue;
    *value = it->num;
    return 0;
}

int GetValueFromIndex(int panel, int ctrl, int index, char *value)
{
    int rc;
    const RingItem *it = Item(panel, ctrl, index, &rc);
    if (!it)
        return rc;
    if (!value || FindCtrl(panel, ctrl)->dataType != VAL_STRING)
        return UIEInvalidValue;
    std::strcpy(value, it->str.c_str());
    return 0;
}

int GetCtrlIndex(int panel, int ctrl, int *index)
{
    int rc;
    Ctrl *c = Ring(panel, ctrl, &rc);
    if (!c)
        return rc;
    if (!index)
        return UIEInvalidValue;
    *index = c->index;
    return 0;
}

int SetCtrlIndex(int panel, int ctrl, int index)
{
    int rc;
    Ctrl *c = Ring(panel, ctrl, &rc);
    if (!c)
        return rc;
    if (index < 0 || index >= static_cast<int>(c->items.size()))
        return UIEInvalidValue;
    c->index = index;
    RefreshCtrl(*c);
    return 0;
}
