// Alert recipients and PEF tables: the name/value list byte for byte against the
// scripted medium, and the client's operations against the card model.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "card_model.h"
#include "fake_medium.h"
#include "namevalue.h"
#include "x9zunaifc.h"
#include "zunacmds.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A list of pairs as the tests build them: each name at 0 and value at 256 of its 512.
Bytes List(std::initializer_list<std::pair<std::string, std::string>> pairs, std::size_t size = 0)
{
    Bytes list;
    for (const auto& [name, value] : pairs) {
        list.resize(list.size() + 512, 0);
        std::copy(name.begin(), name.end(), list.end() - 512);
        std::copy(value.begin(), value.end(), list.end() - 256);
    }
    list.resize(std::max(size, list.size()), 0);
    return list;
}

TEST(NameValuePair, TakesTextsUpToItsFieldAndRefusesLongerOnesWhole)
{
    const std::string fits(NV_TEXT_LEN - 1, 'n'), over(NV_TEXT_LEN, 'v');
    NAME_VALUE_PAIR pair;
    ASSERT_TRUE(PutNameValue(pair, fits, fits));
    EXPECT_EQ(std::string(pair.name), fits);  // kept whole, its NUL in the last byte
    EXPECT_EQ(std::string(pair.value), fits);
    const NAME_VALUE_PAIR zero{};
    for (const auto& [name, value] : {std::pair(over, fits), std::pair(fits, over)}) {
        std::memset(&pair, 0x5A, sizeof(pair));
        EXPECT_FALSE(PutNameValue(pair, name, value));
        EXPECT_EQ(0, std::memcmp(&pair, &zero, sizeof(pair))) << "the pair is left zero";
    }
}

TEST(PefClient, RecipientIsWrittenAsEightPairsInOrder)
{
    FakeMediumLog log;
    CX9ZunaIfc client(std::make_unique<FakeMedium>(log));
    log.replies.push_back({0, MakeReply(0, {})});
    ALERT_RECEP_INFO_tag info{3, "ops", {}, "10.0.0.9", {}, {}, {}, {}};
    std::memset(info.emailId, 'm', sizeof(info.emailId));  // a full field without its NUL
    ASSERT_EQ(client.SetAlertRecpData(&info), ZUNA_E_SUCCESS);
    const Bytes expected = List({{"RECIPIENT_SELECT", "3"}, {"RECIPIENT_NAME", "ops"}, {"EMAIL_ID", std::string(32, 'm')},
                                 {"PPP_LOGIN_ID", ""}, {"NOTIFICATION_METHOD", ""}, {"PPP_PASSWORD", ""},
                                 {"ALERT_LEVEL", ""}, {"SNMP_TRAP_DESTINATION", "10.0.0.9"}});
    EXPECT_EQ(log.requests.at(0), zunatest::MakeRequest(ZUNACMD_SET_ALERT_RECP_DATA, expected));
}

// The query's reply is read by exact name, in any order, within the bytes that came;
// the record changes only when the list is whole, names the recipient's keys and no
// other recipient.
TEST(PefClient, QueryReadsTheReplyPairsWithinItsLength)
{
    const Bytes two = List({{"RECIPIENT_NAME", "new"}, {"EMAIL_ID", "new"}});
    const std::string cut(31, 'v');
    const struct {
        uint16_t status;
        Bytes reply;
        int result;
        std::string texts;  // name and mail id afterwards
    } cases[] = {
        {0, List({{"EMAIL_ID", "a@b"}, {"email_id", "x"}, {"RECIPIENT_SELECT", "3"}, {}, {}, {}, {},
                  {"RECIPIENT_NAME", cut + "vvvvv"}}), 0, cut + "a@b"},
        {0, two, 0, "newnew"},                                     // no RECIPIENT_SELECT pair
        {0, {}, 33, "oldold"},                                     // success without data
        {0, List({}, 4096), 33, "oldold"},                         // eight empty pairs
        {0, List({{"email_id", "x"}}), 33, "oldold"},              // no key of a recipient
        {0, List({{"RECIPIENT_SELECT", "7"}, {"RECIPIENT_NAME", "new"}}), 33, "oldold"},  // another one's
        {0, List({{"RECIPIENT_NAME", "new"}, {"RECIPIENT_SELECT", "03"}}), 33, "oldold"},
        {0, List({{"RECIPIENT_SELECT", "3"}, {"RECIPIENT_SELECT", "1"}}), 33, "oldold"},
        {0, Bytes(two.begin(), two.begin() + 600), 33, "oldold"},  // ends inside a name
        {0, Bytes(two.begin(), two.end() - 1), 33, "oldold"},      // ends inside a value
        {16, {}, 16, "oldold"},
    };
    for (const auto& c : cases) {
        FakeMediumLog log;
        CX9ZunaIfc client(std::make_unique<FakeMedium>(log));
        log.replies.push_back({0, MakeReply(c.status, c.reply)});
        ALERT_RECEP_INFO_tag info{3, "old", "old", {}, {}, {}, {}, {}};
        EXPECT_EQ(client.GetAlertRecpData(&info), c.result) << c.reply.size();
        EXPECT_EQ(info.arId, 3);
        EXPECT_EQ(TextOfField(info.recpName, 32) + TextOfField(info.emailId, 32), c.texts);
        const Bytes query = List({{"RECIPIENT_SELECT", "3"}}, 6152);
        EXPECT_EQ(log.requests.at(0), zunatest::MakeRequest(ZUNACMD_GET_ALERT_RECP_DATA, query));
    }
}

// The card model behind the client, as the host interface reaches it (no login).
struct CardMedium : CX9ZunaMedium {
    kelcard::CardModel card;
    kelcard::Session session = kelcard::HostInterfaceSession();
    int IssueZUNACommand(char* send, unsigned long* len, char* recv, unsigned long) override
    {
        const auto reply = card.HandlePacket(session, reinterpret_cast<uint8_t*>(send), 32 + GetLe32(send + 12));
        std::memcpy(recv, reply.data(), *len = reply.size());
        return reply.empty() ? 1 : 0;
    }
    int Connect() override { return 0; }
    int Disconnect() override { return 0; }
};

TEST(PefOnTheCard, TablesAreWrittenReadAndMadeDefault)
{
    CX9ZunaIfc client(std::make_unique<CardMedium>());
    PEF_INFO_tag info{};
    ASSERT_EQ(client.GetPEFInfo(&info), ZUNA_E_SUCCESS);
    EXPECT_EQ(Bytes(&info.bcdVersion, &info.bcdVersion + 6), (Bytes{0x51, 0x0F, 16, 16, 4, 4}));
    PEF_CONFIG_EVENT_FILTER_tag filter{PEF_PARAM_EVENT_FILTER, 16, {0x80, 1, 2, 3, {}}};
    PEF_CONFIG_EVENT_FILTER_BYTE_tag byte{PEF_PARAM_EVENT_FILTER_BYTE, 16, 0};
    PEF_CONFIG_LAN_DATA_tag lan{PEF_PARAM_LAN_DEST, 2, {2, 1, "10.0.0.9"}}, back{PEF_PARAM_LAN_DEST, 2, {}};
    EXPECT_EQ(client.SetPEFConfig(&filter) + client.SetPEFConfig(&lan), ZUNA_E_SUCCESS);
    EXPECT_EQ(client.GetPEFConfig(&byte) + client.GetPEFConfig(&back), ZUNA_E_SUCCESS);
    EXPECT_EQ(byte.filterConfig, 0x80);
    EXPECT_EQ(std::memcmp(&lan, &back, sizeof(lan)), 0);

    // The counts are read only; numbers count from 1; selector 11 sends nothing but the code.
    PEF_GET_ALERT_POLICY_COUNT_tag count{PEF_PARAM_ALERT_POLICY_COUNT, 0};
    PEF_CONFIG_ALERT_POLICY_tag policy{PEF_PARAM_ALERT_POLICY, 17, {}};
    PEF_CONFIG_PARAM_tag unknown{11, 0};
    ASSERT_EQ(client.GetPEFConfig(&count), ZUNA_E_SUCCESS);
    EXPECT_EQ(count.count, 16);
    EXPECT_EQ(std::vector({client.SetPEFConfig(&count), client.GetPEFConfig(&policy), client.SetPEFConfig(&unknown)}),
              std::vector({ZUNA_E_RDONLY, ZUNA_E_RANGE, ZUNA_E_INVALID}));

    EXPECT_EQ(client.MakeDefaPefConfig(), ZUNA_E_SUCCESS);
    EXPECT_EQ(client.GetPEFConfig(&byte) + client.GetPEFConfig(&back), ZUNA_E_SUCCESS);
    EXPECT_EQ(byte.filterConfig + back.data.dest[0], 0);
}

// A recipient is configuration: a restart without saving forgets it. A list must name
// a recipient from 1 to 8.
TEST(PefOnTheCard, RecipientsAreConfiguration)
{
    CX9ZunaIfc client(std::make_unique<CardMedium>());
    client.resetWaitMicros = 0;
    ALERT_RECEP_INFO_tag set{5, "ops", "ops@example.com", {}, {}, {}, {}, {}}, got = {5, {}, {}, {}, {}, {}, {}, {}}, after = got;
    ASSERT_EQ(std::vector({client.SetAlertRecpData(&set), client.GetAlertRecpData(&got), client.ResetX9NoConfig(),
                           client.GetAlertRecpData(&after)}), std::vector(4, ZUNA_E_SUCCESS));
    EXPECT_EQ(std::memcmp(&set, &got, sizeof(set)), 0);
    EXPECT_EQ(after.recpName[0], 0);
    for (auto [list, status] : {std::pair{List({{"RECIPIENT_SELECT", "9"}}, 4096), 26}, {List({}, 4096), 28}}) {
        uint32_t recvLen = 0;
        EXPECT_EQ(client.SendZunaCommand(ZUNACMD_SET_ALERT_RECP_DATA, list.data(), 4096, &recvLen, 0, 4096), status);
    }
}

}  // namespace
