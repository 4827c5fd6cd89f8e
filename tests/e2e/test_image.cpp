// kelcard mkimage: the image it writes is a whole flash that the image checks accept;
// a damaged one is refused with the check's code.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <stdlib.h>

#include "harness.h"
#include "imgver.h"

namespace e2e {
namespace {

struct MkImageCase {
    std::vector<std::string> damage;  // the words after FILE
    int verdict;                      // VerifyImageFile
};

TEST(KelcardMkImage, WritesAnImageTheChecksAcceptOrRefuse)
{
    char dir[] = "/tmp/kelcard-image-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/card.ima";
    const MkImageCase cases[] = {
        {{}, 0}, {{"--corrupt", "OS"}, 2}, {{"--corrupt-header", "CONFIG"}, 2}, {{"--omit", "SDK"}, 1},
    };
    for (const MkImageCase& c : cases) {
        KelvastRun run;
        run.program = KELCARD_BIN;
        run.args = {"mkimage", path};
        run.args.insert(run.args.end(), c.damage.begin(), c.damage.end());
        const RunResult result = RunKelvast(run);
        ASSERT_TRUE(RunMatches(result, 0, "", "")) << Describe(result);
        EXPECT_EQ(std::filesystem::file_size(path), IMG_FILE_SIZE);
        FILE* fp = std::fopen(path.c_str(), "rb");
        ASSERT_NE(fp, nullptr);
        EXPECT_EQ(VerifyImageFile(fp), c.verdict) << (c.damage.empty() ? "sound" : c.damage[0]);
        std::fclose(fp);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace e2e
