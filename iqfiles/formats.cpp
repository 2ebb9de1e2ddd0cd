// The one table of the format indices: the names, labels and dialog
// patterns the program and the converter show, and the reader and writer of
// each index.  The index is stored in configuration files and records, so
// rows are never reordered.
#include "iqinternal.h"

static const IqFormat g_formats[IQ_NFMT] = {
    // name            Load ring label                           Save ring label                           files pat1        pat2        reader          writer
    {"ibn",            "Tessera (*.ibn)",                        "Tessera (*.ibn)",                        1, "*.ibn",    "",         LoadIbn,        SaveIBN},
    {"mlab-ascii",     "Matlab ASCII single (*.dat, *.dat)",     "Matlab ASCII single (*.dat, *.dat)",     2, "*.dat",    "*.dat",    LoadMCadSgl,    SaveMCadSgl},
    {"mlab-ascii-mix", "Matlab ASCII mixed (*.asc)",             "Matlab ASCII mixed (*.asc)",             1, "*.asc",    "",         LoadCsapMix,    SaveMCadMix},
    {"mlab-bin",       "Matlab binary single (*.mat, *.mat)",    "Matlab binary single (*.mat, *.mat)",    2, "*.mat",    "*.mat",    LoadMLabSgl,    SaveMLabSgl},
    {"mlab-bin-mix",   "Matlab binary mixed (*.mat)",            "Matlab binary mixed (*.mat)",            1, "*.mat",    "",         LoadMLabMix,    SaveMLabMix},
    {"mcad",           "MathCAD single (*.i, *.q)",              "MathCAD single (*.i, *.q)",              2, "*.i",      "*.q",      LoadMCadSgl,    SaveMCadSgl},
    {"mcad-mix",       "MathCAD mixed (*.dat)",                  "MathCAD mixed (*.dat)",                  1, "*.dat",    "",         LoadCsapMix,    SaveMCadMix},
    {"ddsp",           "DaDisp single (*.i, *.q)",               "DaDisp single (*.i, *.q)",               2, "*.i",      "*.q",      LoadDDspSgl,    SaveDDspSgl},
    {"ddsp-mix",       "DaDisp mixed (*.dsp)",                   "DaDisp mixed (*.dsp)",                   1, "*.dsp",    "",         LoadDDspMix,    SaveDDspMix},
    {"cossap",         "COSSAP single (*.i, *.q)",               "COSSAP single (*.i, *.q)",               2, "*.i",      "*.q",      LoadCsapSgl,    SaveMCadSgl},
    {"cossap-mix",     "COSSAP mixed (*.dat)",                   "COSSAP mixed (*.dat)",                   1, "*.dat",    "",         LoadCsapMix,    SaveMCadMix},
    {"spw-ascii",      "SPW ASCII single (*.ascsig, *.ascsig)",  "SPW ASCII single (*.ascsig, *.ascsig)",  2, "*.ascsig", "*.ascsig", LoadAscSg,      SaveADSSgl},
    {"spw-ascii-mix",  "SPW ASCII mixed (*.ascsig)",             "SPW ASCII mixed (*.ascsig)",             1, "*.ascsig", "",         LoadAscMx,      SaveADSMix},
    {"spw-bin",        "SPW binary mixed (*.sig)",               "SPW binary mixed (*.sig)",               1, "*.sig",    "",         LoadBin,        SaveSPWBin},
    {"ads-ascii",      "ADS ASCII single (*.asg, *.asg)",        "ADS ASCII single (*.asg, *.asg)",        2, "*.asg",    "*.asg",    LoadAscSg,      SaveADSSgl},
    {"ads-ascii-mix",  "ADS ASCII mixed (*.asg)",                "ADS ASCII mixed (*.asg)",                1, "*.asg",    "",         LoadAscMx,      SaveADSMix},
    {"wav",            "WAV (*.wav)",                            "WAV (*.wav)",                            1, "*.wav",    "",         LoadWav,        SaveWav},
    {"lecroy",         "LeCroy (*.trc, *.trc)",                  nullptr,                                  2, "*.trc",    "*.trc",    LoadLeCroy,     nullptr},
    {"mosaic",         "Mosaic (*.i, *.q)",                      "Mosaic (*.i, *.q)",                      2, "*.i",      "*.q",      LoadMCadSgl,    SaveMCadSgl},
    {"dab",            "DAB-N5 (*.sym)",                         "DAB-N5 (*.sym)",                         1, "*.sym",    "",         LoadDAB,        SaveDAB},
    {"uint16",         "UInt16 (*.i, *.q)",                      nullptr,                                  2, "*.i",      "*.q",      LoadMCadSgl,    nullptr},
    {"awg",            "AWG 2000 (*.wfm, *.wfm)",                nullptr,                                  2, "*.wfm",    "*.wfm",    LoadAWG,        nullptr},
    {"kal",            "KAL mixed (*kal)",                       "KAL mixed (*.kal)",                      1, "*.kal",    "",         LoadKAL,        SaveKAL},
    {"asc-nolf",       "ASCII mixed no LF (*.asc)",              nullptr,                                  1, "*.asc",    "",         LoadAscMixNoLF, nullptr},
    // Two files, but the user picks one (either) and the other lies beside it.
    {"sigmf",          "SigMF (*.sigmf-meta)",                   "SigMF (*.sigmf-meta)",                   1, "*.sigmf-meta;*.sigmf-data", "", LoadSigMF, SaveSigMF},
};

const IqFormat *IqFormatAt(int typ)
{
    if (typ < 0 || typ >= IQ_NFMT)
        return nullptr;
    return &g_formats[typ];
}
