// User lists unpacked from their columns, the user operations on the wire, and the
// card's checks of the records it is sent.
#include <gtest/gtest.h>

#include <string>

#include "card_model.h"
#include "fake_medium.h"
#include "zunacmds.h"
#include "x9zunaifc.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Put(Bytes b, std::size_t offset, const std::string& text)
{
    std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(offset));
    return b;
}

// The count each decoder gives: entries of 32 (names), 64 (users) or 80 (SNMP users)
// bytes, a shorter tail dropped, cut to the table.
TEST(UserLists, CountFollowsTheReplyAndTheTable)
{
    const struct {
        std::size_t entry, len;
        int table, count;
    } cases[] = {{64, 128, 16, 2}, {64, 160, 16, 2}, {64, 63, 16, 0},  {64, 17 * 64, 16, 16}, {64, 128, 1, 1},
                 {64, 128, 0, 0},  {80, 160, 16, 2}, {80, 239, 16, 2}, {80, 17 * 80, 16, 16}, {32, 96, 16, 3},
                 {32, 31, 16, 0},  {32, 640, 16, 16}};
    for (const auto& c : cases) {
        const Bytes reply(c.len, 'x');
        char names[16][USER_TEXT_LEN];
        ZUNA_API_USER_REC users[16];
        ZUNA_API_SNMP_USER_REC snmp[16];
        const int count = c.entry == 32   ? UnpackUserNames(reply.data(), c.len, names, c.table)
                          : c.entry == 64 ? UnpackUserList(reply.data(), c.len, users, c.table)
                                          : UnpackSnmpUserList(reply.data(), c.len, snmp, c.table);
        EXPECT_EQ(count, c.count) << c.entry << " " << c.len << " " << c.table;
    }
}

TEST(UserLists, FieldsAtTheirColumnOffsets)
{
    ZUNA_API_USER_REC users[16];
    Bytes reply = Put(Put(Put(Put(Bytes(128, 0), 0, "alice"), 32, "bob"), 64, "pw-a"), 96, "pw-b");
    ASSERT_EQ(UnpackUserList(reply.data(), 128, users, 16), 2);
    EXPECT_STREQ(users[1].username, "bob");
    EXPECT_STREQ(users[1].password, "pw-b");

    // The SNMP list's protocol words fill their 8 bytes without a NUL: bounded by them.
    reply = Put(Put(Put(Bytes(160, 0), 32, "trap2"), 96, "secret2"), 128, std::string("MD5\0\0\0\0\0SHAxxxxxDES", 19));
    reply = Put(reply, 152, "NONE");
    ZUNA_API_SNMP_USER_REC snmp[16];
    ASSERT_EQ(UnpackSnmpUserList(reply.data(), 160, snmp, 16), 2);
    EXPECT_STREQ(snmp[1].name, "trap2");
    EXPECT_STREQ(snmp[1].pass, "secret2");
    EXPECT_STREQ(snmp[0].authPro, "MD5");
    EXPECT_STREQ(snmp[1].authPro, "SHAxxxxx");
    EXPECT_STREQ(snmp[1].privPro, "NONE");

    // 17 entries into 16 places: the passwords' column still starts after 17 names; a
    // name that fills its field is cut to 31 characters.
    reply = Put(Put(Bytes(17 * 64, 0), 15 * 32, std::string(32, 'n')), 17 * 32 + 15 * 32, "pw-15");
    ASSERT_EQ(UnpackUserList(reply.data(), static_cast<uint32_t>(reply.size()), users, 16), 16);
    EXPECT_EQ(std::string(users[15].username), std::string(31, 'n'));
    EXPECT_STREQ(users[15].password, "pw-15");
}

TEST(UserOperations, RecordsOnTheWireAndListFailures)
{
    FakeMediumLog log;
    CX9ZunaIfc client(std::make_unique<FakeMedium>(log));
    log.replies.push_back({0, MakeReply(0, {})});
    EXPECT_EQ(client.AddNewUser("ops", "password1"), ZUNA_E_SUCCESS);
    ASSERT_EQ(log.requests.size(), 1u);
    EXPECT_EQ(GetLe16(&log.requests[0][20]), ZUNACMD_ADD_NEW_USER);
    EXPECT_EQ(Bytes(log.requests[0].begin() + 32, log.requests[0].end()),
              Put(Put(Bytes(64, 0), 0, "ops"), 32, "password1"));
    // A name that does not fit its field is not sent.
    EXPECT_EQ(client.AddNewUser(std::string(32, 'n').c_str(), "password1"), ZUNA_E_INVALID);
    EXPECT_EQ(log.requests.size(), 1u);

    // A refusal that carries data, and a list longer than 16384 bytes: no entries.
    ZUNA_API_USER_REC users[16];
    int count = -1;
    log.replies.push_back({0, MakeReply(ZUNA_E_BUSY, Bytes(128, 'x'))});
    EXPECT_EQ(client.GetAllUsernamePassword(users, 16, &count), ZUNA_E_BUSY);
    EXPECT_EQ(count, 0);
    log.replies.push_back({0, MakeReply(0, Bytes(USER_LIST_MAX_LEN + 64, 'x'))});
    count = -1;
    EXPECT_EQ(client.GetAllUsernamePassword(users, 16, &count), ZUNA_E_CONNECTION);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(GetLe16(&log.requests[2][20]), ZUNACMD_GET_ALL_USERNAME_PASSWORD);
    EXPECT_EQ(log.requests[2].size(), 32u);
}

// Records the card refuses with 28: texts without their NUL, an empty name, protocol
// words it does not know.
TEST(CardUsers, MalformedRecordsAreRefused)
{
    kelcard::CardModel card;
    kelcard::Session session;
    session.requireLogin = false;
    const Bytes snmp = Put(Put(Put(Bytes(128, 0), 0, "trap"), 32, "MD5"), 64, "DES");
    const struct {
        uint16_t command;
        Bytes record;
        uint16_t status;
    } cases[] = {{ZUNACMD_ADD_NEW_USER, Put(Bytes(64, 0), 0, std::string(32, 'n')), 28},
                 {ZUNACMD_ADD_NEW_USER, Put(Bytes(64, 0), 32, std::string(32, 'p')), 28},
                 {ZUNACMD_REMOVE_USER, Put(Bytes(64, 0), 0, std::string(32, 'n')), 28},
                 {ZUNACMD_ADD_SNMP_USER, Put(snmp, 0, std::string(32, 'n')), 28},
                 {ZUNACMD_ADD_SNMP_USER, Put(snmp, 32, "md5"), 28},
                 {ZUNACMD_ADD_SNMP_USER, Put(snmp, 64, "AES"), 28},
                 {ZUNACMD_ADD_NEW_USER, Bytes(64, 0), 28},
                 {ZUNACMD_ADD_SNMP_USER, snmp, 0}};
    for (const auto& c : cases) {
        const Bytes request = zunatest::MakeRequest(c.command, c.record);
        const Bytes reply = card.HandlePacket(session, request.data(), request.size());
        ASSERT_GE(reply.size(), 32u);
        EXPECT_EQ(GetLe16(&reply[22]), c.status) << std::hex << c.command;
    }
}

}  // namespace
