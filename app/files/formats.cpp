#include "files/formats.h"

const FormatTable t;

FmtRow FormatTable::operator[](int typ) const
{
    const IqFormat *row = IqFormatAt(typ);
    if (!row)
        return {1, "", ""};
    return {row->files, row->pat1, row->pat2};
}

bool CanSave(int typ)
{
    const IqFormat *row = IqFormatAt(typ);
    return row && row->save;
}
