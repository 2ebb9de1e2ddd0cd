#include "files/formats.h"

#include <cstring>

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

bool IntegerWordFormat(int typ)
{
    const IqFormat *row = IqFormatAt(typ);
    return row && (std::strcmp(row->name, "wav") == 0 || std::strcmp(row->name, "uint16") == 0);
}
