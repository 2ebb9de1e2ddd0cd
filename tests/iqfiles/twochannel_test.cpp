// Two-file text formats read their channels on two threads.  Whatever the
// scheduling, every load must bring both channels whole; repeating small
// loads gives the threads many chances to meet at the wrong moment.
#include "VmKalLib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

TEST(TwoChannelText, EveryLoadBringsBothChannelsWhole)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("kal-two-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::vector<float> i(64), q(64);
    for (int k = 0; k < 64; ++k) {
        i[k] = float(k % 37 - 18);
        q[k] = float((k * 7) % 37 - 18);
    }
    for (int typ : {1, 5, 7, 9, 18}) {
        SCOPED_TRACE(typ);
        IqRec out{};
        std::snprintf(out.INam, sizeof out.INam, "%s/a_i", dir.c_str());
        std::snprintf(out.QNam, sizeof out.QNam, "%s/a_q", dir.c_str());
        out.Typ = typ;
        out.Len = 64;
        out.I = i.data();
        out.Q = q.data();
        out.Rat = 1e6f;
        ASSERT_EQ(IqFormatAt(typ)->save(out), 0);
        for (int round = 0; round < 150; ++round) {
            IqRec in{};
            std::snprintf(in.INam, sizeof in.INam, "%s", out.INam);
            std::snprintf(in.QNam, sizeof in.QNam, "%s", out.QNam);
            in.Typ = typ;
            ASSERT_EQ(LoadDatFile(&in), 0);
            ASSERT_EQ(in.Len, 64);
            bool same = true;
            for (int k = 0; k < 64; ++k)
                same = same && in.I[k] == i[k] && in.Q[k] == q[k];
            FreeIqRec(&in);
            ASSERT_TRUE(same) << "round " << round;
        }
    }
    fs::remove_all(dir);
}

}  // namespace
