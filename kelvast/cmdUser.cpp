// kelvast -user: the card's users (who may log in) and SNMP users, listed and added;
// users removed. Names and passwords are checked before anything is sent.
#include <cstdio>
#include <cstring>

#include "zunaCmd.h"

namespace {

constexpr int kListTable = 16;          // entries a listing shows at the most
constexpr std::size_t kMaxText = 30;    // the longest name or password that is added
constexpr std::size_t kMinPassword = 8; // the shortest password of a user who logs in

// The checks of a new account, in this order; the first failing one's line and 26, or
// success. SNMP users have no minimum password length (minPassword 0).
Outcome CheckAccountTexts(const char* name, const char* password, std::size_t minPassword)
{
    const char* failure = nullptr;
    if (std::strlen(name) > kMaxText)
        failure = "Username cannot be more than 30 characters long\n";
    else if (std::strlen(password) > kMaxText)
        failure = "Password cannot be more than 30 characters long\n";
    else if (ValidateUserOrPwd(name) != 0)
        failure = "Username contains invalid characters\n";
    else if (std::strlen(password) < minPassword)
        failure = "Password needs to be a minimum of 8 characters\n";
    else if (ValidateUserOrPwd(password) != 0)
        failure = "Password contains invalid characters\n";
    if (failure == nullptr) return Outcome::Success();
    return ReportedLine(Outcome::LocalFailure(kExitValueRefused, "name or password refused"), "%s", failure);
}

// The entries of a listing as --json gives them: {"users": [...]}.
nlohmann::ordered_json ToJson(const char (&name)[USER_TEXT_LEN])
{
    return {{"name", TextOfField(name, USER_TEXT_LEN)}};
}

nlohmann::ordered_json ToJson(const ZUNA_API_USER_REC& user)
{
    return {{"name", TextOfField(user.username, sizeof(user.username))},
            {"password", TextOfField(user.password, sizeof(user.password))}};
}

nlohmann::ordered_json ToJson(const ZUNA_API_SNMP_USER_REC& user)
{
    return {{"name", TextOfField(user.name, sizeof(user.name))},
            {"password", TextOfField(user.pass, sizeof(user.pass))},
            {"auth_protocol", TextOfField(user.authPro, sizeof(user.authPro))},
            {"priv_protocol", TextOfField(user.privPro, sizeof(user.privPro))}};
}

template <typename Entry>
nlohmann::ordered_json UsersJson(const Entry* entries, int count)
{
    nlohmann::ordered_json users = nlohmann::ordered_json::array();
    for (int i = 0; i < count; ++i) users.push_back(ToJson(entries[i]));
    return {{"users", users}};
}

// Names only; the entries read, then the failure line of a failed listing.
Outcome ListAllUsers(Run& run)
{
    char names[kListTable][USER_TEXT_LEN] = {};
    int count = 0;
    const ZUNA_ERROR status = run.client.GetAllUsernames(names, kListTable, &count);
    for (int i = 0; i < count; ++i) std::printf("User %d: %s \n", i + 1, CardText(names[i]).c_str());
    run.result() = UsersJson(names, count);
    return Reported(status, "List Users Failed");
}

Outcome ListAllUserPass(Run& run)
{
    ZUNA_API_USER_REC users[kListTable] = {};
    int count = 0;
    const ZUNA_ERROR status = run.client.GetAllUsernamePassword(users, kListTable, &count);
    for (int i = 0; i < count; ++i)
        std::printf("User %d: %s Password: %s \n", i + 1, CardText(users[i].username).c_str(),
                    CardText(users[i].password).c_str());
    run.result() = UsersJson(users, count);
    return Reported(status, "List Users Failed");
}

Outcome ListAllSNMP(Run& run)
{
    ZUNA_API_SNMP_USER_REC users[kListTable] = {};
    int count = 0;
    const ZUNA_ERROR status = run.client.GetAllSNMPUserInfo(users, kListTable, &count);
    if (status != ZUNA_E_SUCCESS) return ReportedLine(status, "Error in getting SNMP users' infomation\n");
    run.result() = UsersJson(users, count);
    if (count == 0) {
        std::printf("No SNMP user found in the system !\n");
        return status;
    }
    std::printf("SNMP users in the system:\n");
    for (int i = 0; i < count; ++i)
        std::printf("User %d: %s Password: %s Auth Protocol: %s Priv Protocol: %s\n", i + 1,
                    CardText(users[i].name).c_str(), CardText(users[i].pass).c_str(),
                    CardText(users[i].authPro).c_str(), CardText(users[i].privPro).c_str());
    return status;
}

Outcome AddUser(Run& run, const char* username, const char* password)
{
    if (const Outcome refused = CheckAccountTexts(username, password, kMinPassword); !refused.ok()) return refused;
    return Reported(run.client.AddNewUser(username, password), "Add user failed");
}

// The name is not checked, but one that does not fit the record is not cut short
// (a shorter name could be another user's): refused with 26, nothing sent.
Outcome RemoveUser(Run& run, const char* username, const char* password)
{
    ZUNA_API_USER_REC rec;
    std::memset(&rec, 0, sizeof(rec));
    if (!PutTextField(rec.username, username) || !PutTextField(rec.password, password))
        return ReportedLine(Outcome::LocalFailure(kExitValueRefused, "name or password refused"),
                            "The user name is too long: at most %zu characters are allowed!\n", USER_TEXT_LEN - 1);
    return Reported(run.client.RemoveUser(&rec), "Remove user failed");
}

// Protocol words are compared exactly (case matters); a bad one is an invalid word.
Outcome AddSnmpUser(Run& run, const char* name, const char* password, const char* auth, const char* priv)
{
    if (const Outcome refused = CheckAccountTexts(name, password, 0); !refused.ok()) return refused;
    if (std::strcmp(auth, "MD5") != 0 && std::strcmp(auth, "SHA") != 0)
        return ReportedLine(Outcome::InvalidWords("invalid words"), "Invalid Auth Protocol:%s\nValid input:MD5/SHA", auth);
    if (std::strcmp(priv, "DES") != 0 && std::strcmp(priv, "NONE") != 0)
        return ReportedLine(Outcome::InvalidWords("invalid words"), "Invalid Priv Protocol:%s\nValid input:DES/NONE", priv);
    ZUNA_API_SNMP_USER_REC rec;
    std::memset(&rec, 0, sizeof(rec));
    // Every text fits its field: the checks above bound them.
    PutTextField(rec.name, name);
    PutTextField(rec.authPro, auth);
    PutTextField(rec.privPro, priv);
    PutTextField(rec.pass, password);
    return Reported(run.client.AddSNMPUser(&rec), "Add SNMP user failed");
}

// The words match whole, so "listAllUser" and "listAll" may come in either order.
const SubCommand kUserCommands[] = {
    {"add", 5, [](Run& run, char** argv) -> Outcome { return AddUser(run, argv[3], argv[4]); },
     "     -user -add username password\n", HelpShown::kAlways},
    {"del", 4, [](Run& run, char** argv) -> Outcome { return RemoveUser(run, argv[3], "fillerpwd"); },
     "     -user -del username \n", HelpShown::kAlways},
    {"add", 7,
     [](Run& run, char** argv) -> Outcome { return AddSnmpUser(run, argv[3], argv[4], argv[5], argv[6]); },
     "     -user -add username password auth\tpvt\n", HelpShown::kAlways},
    {"listAllUser", 3, [](Run& run, char**) -> Outcome { return ListAllUsers(run); },
     "     -user -listAllUser\n", HelpShown::kAlways},
    {"listAll", 3, [](Run& run, char**) -> Outcome { return ListAllUserPass(run); },
     "     -user -listAll\n", HelpShown::kAlways},
    {"getSnmp", 3, [](Run& run, char**) -> Outcome { return ListAllSNMP(run); },
     "     -user -getSnmp\n", HelpShown::kAlways},
};

}  // namespace

constinit const std::span<const SubCommand> kUserSubCommands = kUserCommands;

Outcome ProcessUserCommands(Run& run, int argc, char** argv)
{
    return RunSubCommand(run, kUserCommands, argc, argv);
}
