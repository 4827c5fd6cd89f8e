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

TEST(KelcardMkImage, WritesAnImageTheChecksAcceptOrRefuse)
{
    char dir[] = "/tmp/kelcard-image-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/card.ima";
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{}, 0}, {{"--corrupt", "OS"}, 2}, {{"--omit", "SDK"}, 1}};
    for (const auto& [damage, verdict] : cases) {
        KelvastRun run;
        run.program = KELCARD_BIN;
        run.args = {"mkimage", path};
        run.args.insert(run.args.end(), damage.begin(), damage.end());
        const RunResult result = RunKelvast(run);
        ASSERT_TRUE(RunMatches(result, 0, "", "")) << Describe(result);
        EXPECT_EQ(std::filesystem::file_size(path), IMG_FILE_SIZE);
        FILE* fp = std::fopen(path.c_str(), "rb");
        ASSERT_NE(fp, nullptr);
        EXPECT_EQ(VerifyImageFile(fp), verdict) << run.args.back();
        std::fclose(fp);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace e2e
