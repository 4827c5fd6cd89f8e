// The Ansible recipe examples/ansible/site.yml, run by the real ansible-playbook over a
// fleet of cards that kelcard serves, with a password file and the built kelvast.
//
// Addresses: TestAddress() is 127.T.X.Y with X below 100 (fewer than 15000 tests); the
// fleet tests of test_fleet_card.cpp take 127.T.(100 to 249).*. This test takes
// 127.T.251.1-20 for its cards and 127.T.251.21, where nothing listens, for a card that
// is down: a third number no other test uses.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "expected_text.h"
#include "harness.h"

namespace e2e {
namespace {

constexpr int kCards = 20;

// Card `index` (0 to kCards - 1) of this test's block; index kCards is the dead address.
std::string AnsibleCardAddress(int index)
{
    unsigned t = 0;
    EXPECT_EQ(std::sscanf(TestAddress().c_str(), "127.%u.", &t), 1);
    return "127." + std::to_string(t) + ".251." + std::to_string(1 + index);
}

// The PLAY RECAP of an ansible-playbook run: host -> its counters, blanks collapsed
// ("ok=3 changed=0 unreachable=0 failed=0 skipped=1 rescued=0 ignored=0").
std::map<std::string, std::string> Recap(const std::string& out)
{
    std::map<std::string, std::string> hosts;
    const std::size_t at = out.find("PLAY RECAP");
    if (at == std::string::npos) return hosts;
    std::istringstream lines(out.substr(at));
    const std::regex row(R"(^(\S+)\s+:\s+(ok=.*\S)\s*$)");
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, row)) hosts[m[1]] = std::regex_replace(m[2].str(), std::regex(R"(\s+)"), " ");
    }
    return hosts;
}

class Ansible : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path() / ("kelvast-ansible-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir / "home");
    }
    void TearDown() override
    {
        card.Stop();
        std::filesystem::remove_all(m_dir);
    }

    Card card;
    std::filesystem::path m_dir;
};

// 20 cards and one address without a card: the cards' hosts run every task and fail
// none, the dead one fails at the check with kelvast's status and message, and
// ansible-playbook exits 2. The facts hold what each card answered.
TEST_F(Ansible, RecipeReadsEveryCardAndFailsTheDeadOne)
{
    const std::string playbook = std::string(KELVAST_SOURCE_DIR) + "/examples/ansible/site.yml";
    if (std::system("command -v ansible-playbook >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ansible-playbook is not installed (scripts/common.sh installs ansible-core)";

    const std::string password = (m_dir / "admin.pw").string();
    std::ofstream(password) << "admin\n";
    ASSERT_EQ(::chmod(password.c_str(), 0600), 0);
    std::ofstream(m_dir / "ansible.cfg").flush();  // read instead of any other configuration
    {
        std::ofstream inventory(m_dir / "inventory");
        inventory << "[cards]\n";
        for (int i = 0; i <= kCards; ++i) inventory << AnsibleCardAddress(i) << "\n";
        inventory << "\n[cards:vars]\nansible_python_interpreter=/usr/bin/python3\n";
    }

    ASSERT_TRUE(card.Start(AnsibleCardAddress(0) + "-" + AnsibleCardAddress(kCards - 1)));
    KelvastRun setName;
    setName.args = {"-nw", AnsibleCardAddress(7), "admin", "-gen", "-SetName", "rack12-left"};
    setName.password = "admin";
    ASSERT_TRUE(RunMatches(RunKelvast(setName), 0, kLoggedIn + kBanner, kPasswordTerminal));

    // A clean environment: nothing read from or written to the user's home or settings.
    KelvastRun play;
    const std::string dir = m_dir.string();
    const char* path = std::getenv("PATH");
    play.program = "/usr/bin/env";
    play.args = {"-i", std::string("PATH=") + (path != nullptr ? path : "/usr/bin:/bin"), "HOME=" + dir + "/home",
                 "LC_ALL=C.UTF-8", "ANSIBLE_CONFIG=" + dir + "/ansible.cfg", "ANSIBLE_LOCAL_TEMP=" + dir + "/local",
                 "ANSIBLE_REMOTE_TEMP=" + dir + "/remote", "ANSIBLE_NOCOLOR=1", "ANSIBLE_HOST_KEY_CHECKING=False",
                 "ANSIBLE_RETRY_FILES_ENABLED=0", "ansible-playbook", "--forks", std::to_string(kCards + 1), "-i",
                 dir + "/inventory", playbook, "-e", "kelvast_binary=" KELVAST_BIN, "-e",
                 "kelvast_password_file=" + password};
    play.limitSeconds = 100;
    const RunResult run = RunKelvast(play);

    EXPECT_TRUE(run.exited && run.status == 2) << Describe(run);
    std::map<std::string, std::string> expected;
    for (int i = 0; i < kCards; ++i)
        expected[AnsibleCardAddress(i)] = "ok=3 changed=0 unreachable=0 failed=0 skipped=1 rescued=0 ignored=0";
    expected[AnsibleCardAddress(kCards)] = "ok=1 changed=0 unreachable=0 failed=1 skipped=0 rescued=0 ignored=0";
    EXPECT_EQ(Recap(run.out), expected) << Describe(run);

    const auto shown = [](int index, const std::string& name, const std::string& mac) {
        return "ok: [" + AnsibleCardAddress(index) + "] => {\n    \"msg\": \"name '" + name +
               "', static 10.0.0.5/255.255.255.0 via 10.0.0.1, MAC 00:2a:3b:4c:5d:" + mac + "\"\n}\n";
    };
    EXPECT_NE(run.out.find(shown(7, "rack12-left", "24")), std::string::npos) << Describe(run);
    EXPECT_NE(run.out.find(shown(8, "", "25")), std::string::npos) << Describe(run);
    EXPECT_NE(run.out.find("fatal: [" + AnsibleCardAddress(kCards) +
                           "]: FAILED! => {\"changed\": false, \"msg\": \"kelvast -gen -GetName: exit status 33, "
                           "status 33: Error during connect \"}\n"),
              std::string::npos)
        << Describe(run);
}

}  // namespace
}  // namespace e2e
