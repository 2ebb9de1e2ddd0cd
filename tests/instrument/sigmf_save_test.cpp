// A captured trace saved as a SigMF recording carries the analyzer's centre
// frequency; samples the program did not capture that way (an append to an
// older recording, a file loaded in file mode) carry none.
#include "tracefixture.h"

#include "common/test_files.h"
#include "files/loadpanel.h"
#include "files/savepanel.h"

#include <filesystem>
#include <string>

namespace {

constexpr int kSigMF = 24;

// The Save panel's steps for a SigMF recording named path.
void SaveAs(const std::string &path, int button)
{
    ASSERT_EQ(ui_test::UserSetVal(hSav, SA_TYP, kSigMF), 0);
    const bool exists = std::filesystem::exists(path);
    ui_test::QueueFileSelect(exists ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED, path);
    ASSERT_EQ(ui_test::UserClick(hSav, SA_I), 0);
    ASSERT_EQ(ui_test::UserClick(hSav, button), 0);
}

bool HasFrequency(const std::string &meta, const char *hz)
{
    return FileText(meta).find(std::string("\"core:frequency\": ") + hz) != std::string::npos;
}

}  // namespace

TEST_F(TraceTest, ASavedRecordingOfACaptureCarriesTheCentreFrequency)
{
    StartAnalyzer("beryl", {"--freq", "2.4e9"});
    UseLan(DEV_BERYL);
    Connect();
    ASSERT_EQ(ui_test::UserSetVal(hBer, BY_CNT, 4096), 0);
    ASSERT_EQ(Click(TR_TRC), 0);
    ASSERT_EQ(Messages(), "");
    ASSERT_EQ(HeldSamples(), 4096);

    const std::string rec = dir + "/trace.sigmf-meta";
    SaveAs(rec, SA_SAV);
    EXPECT_EQ(Messages(), "");
    EXPECT_TRUE(HasFrequency(rec, "2400000000.0")) << FileText(rec);
    EXPECT_EQ(std::filesystem::file_size(dir + "/trace.sigmf-data"), 4096u * 8);

    // Appended, the recording also holds the older samples.
    SaveAs(dir + "/trace.sigmf-data", SA_APP);
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(std::filesystem::file_size(dir + "/trace.sigmf-data"), 2 * 4096u * 8);
    EXPECT_FALSE(HasFrequency(rec, "")) << FileText(rec);

    // In file mode the data is a file's, whatever was captured before.
    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 0), 0);
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, kSigMF), 0);
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, dir + "/trace.sigmf-data");
    ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
    ASSERT_EQ(ui_test::UserClick(hLod, LO_LOAD), 0);
    ASSERT_EQ(s.Len, 2 * 4096);
    SaveAs(dir + "/copy", SA_SAV);
    EXPECT_EQ(Messages(), "");
    EXPECT_FALSE(HasFrequency(dir + "/copy.sigmf-meta", "")) << FileText(dir + "/copy.sigmf-meta");
}
