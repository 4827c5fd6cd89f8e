// User lists unpacked from their columns, refused lists, and the card's checks of the
// records it is sent.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "card_model.h"
#include "fake_medium.h"
#include "x9zunaifc.h"
#include "zunacmds.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Put(Bytes b, std::size_t offset, const std::string& text)
{
    std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(offset));
    return b;
}

// Names, passwords and SNMP protocol words at their column offsets; a tail shorter than
// an entry is dropped, entries past the table are cut.
TEST(UserLists, FieldsAtTheirColumnOffsets)
{
    ZUNA_API_USER_REC users[16];
    Bytes reply = Put(Put(Put(Put(Bytes(160, 0), 0, "alice"), 32, "bob"), 64, "pw-a"), 96, "pw-b");
    ASSERT_EQ(UnpackUserList(reply.data(), 160, users, 16), 2);
    EXPECT_EQ(std::string(users[1].username) + users[1].password, "bobpw-b");
    char names[16][USER_TEXT_LEN];
    ASSERT_EQ(UnpackUserNames(reply.data(), 127, names, 16), 3);
    EXPECT_EQ(std::string(names[1]) + names[2], "bobpw-a");
    // Protocol words that fill their 8 bytes end there.
    reply = Put(Put(Bytes(239, 0), 32, "trap2"), 96, "secret2");
    reply = Put(Put(reply, 128, std::string("MD5\0\0\0\0\0SHAxxxxxDES", 19)), 152, "NONE");
    ZUNA_API_SNMP_USER_REC snmp[16];
    ASSERT_EQ(UnpackSnmpUserList(reply.data(), 239, snmp, 16), 2);
    EXPECT_EQ(std::string(snmp[1].name) + snmp[1].pass + snmp[1].authPro + snmp[1].privPro, "trap2secret2SHAxxxxxNONE");
    EXPECT_EQ(std::string(snmp[0].authPro) + snmp[0].privPro, "MD5DES");
    EXPECT_EQ(UnpackSnmpUserList(reply.data(), 239, snmp, 1), 1);
    // 17 entries for 16 places: the passwords start after 17 names; a name that fills
    // its field is cut to 31 characters.
    reply = Put(Put(Bytes(17 * 64, 0), 15 * 32, std::string(32, 'n')), 17 * 32 + 15 * 32, "pw-15");
    ASSERT_EQ(UnpackUserList(reply.data(), static_cast<uint32_t>(reply.size()), users, 16), 16);
    EXPECT_EQ(std::string(users[15].username) + users[15].password, std::string(31, 'n') + "pw-15");
}

// A refusal that carries data, and a list over 16384 bytes: no entries.
TEST(UserOperations, RefusedListsHaveNoEntries)
{
    FakeMediumLog log;
    CX9ZunaIfc client(std::make_unique<FakeMedium>(log));
    log.replies = {{0, MakeReply(ZUNA_E_BUSY, Bytes(128, 'x'))}, {0, MakeReply(0, Bytes(USER_LIST_MAX_LEN + 64, 'x'))}};
    ZUNA_API_USER_REC users[16];
    int count = -1;
    EXPECT_EQ(client.GetAllUsernamePassword(users, 16, &count) * 100 + count, ZUNA_E_BUSY * 100);
    EXPECT_EQ(client.GetAllUsernamePassword(users, 16, &count) * 100 + count, ZUNA_E_CONNECTION * 100);
}

// The card answers 28 to a text without its NUL, an empty name, an unknown protocol word.
TEST(CardUsers, MalformedRecordsAreRefused)
{
    kelcard::CardModel card;
    kelcard::Session session;
    session.requireLogin = false;
    const Bytes snmp = Put(Put(Put(Bytes(128, 0), 0, "trap"), 32, "MD5"), 64, "DES");
    const std::tuple<uint16_t, Bytes, int> cases[] = {
        {ZUNACMD_ADD_NEW_USER, Put(Put(Bytes(64, 0), 0, "ops"), 32, std::string(32, 'p')), 28},
        {ZUNACMD_ADD_NEW_USER, Bytes(64, 0), 28}, {ZUNACMD_REMOVE_USER, Put(Bytes(64, 0), 0, std::string(32, 'n')), 28},
        {ZUNACMD_ADD_SNMP_USER, Put(snmp, 32, "md5"), 28}, {ZUNACMD_ADD_SNMP_USER, snmp, 0}};
    for (const auto& [command, record, status] : cases) {
        const Bytes request = zunatest::MakeRequest(command, record);
        const Bytes reply = card.HandlePacket(session, request.data(), request.size());
        EXPECT_EQ(GetLe16(&reply.at(22)), status) << std::hex << command;
    }
}

}  // namespace
