// The words kelvast reads as dates, addresses and numbers, each given the same word of
// any bytes (up to its first NUL, as a command line's word ends): a date is taken only
// when it names that very second (UTC here); a strict IPv4 address only when it is
// its own canonical text, and then the lax check takes it too; a MAC text only as six
// hex pairs, which give back its first 17 characters; an I2C address only up to 255;
// nothing is written on a refusal.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "network.h"
#include "zunaCmd.h"

namespace {

void CheckDate(const char* word)
{
    uint32_t epoch = 12345;
    if (ReadDateWord(word, &epoch) != 0) {
        if (epoch != 12345) std::abort();
        return;
    }
    // The fields as the word gives them, and the date the card would be set to.
    int month = 0, day = 0, hour = 0, minute = 0, year = 0, second = 0;
    if (std::sscanf(word, "%02d%02d%02d%02d%04d.%02d", &month, &day, &hour, &minute, &year, &second) != 6) std::abort();
    const time_t when = epoch;
    struct tm utc {};
    if (gmtime_r(&when, &utc) == nullptr) std::abort();
    if (utc.tm_year + 1900 != year || utc.tm_mon + 1 != month || utc.tm_mday != day || utc.tm_hour != hour ||
        utc.tm_min != minute || utc.tm_sec != second)
        std::abort();
}

void CheckAddresses(const char* word)
{
    const std::size_t len = std::strlen(word);
    if (const auto address = ParseDottedIPv4(word, len)) {
        char text[16];
        std::snprintf(text, sizeof(text), "%u.%u.%u.%u", *address >> 24, (*address >> 16) & 0xFF,
                      (*address >> 8) & 0xFF, *address & 0xFF);
        if (std::strcmp(text, word) != 0 || ValidateIPAddress(word) != 0) std::abort();
    }
    const int lax = ValidateIPAddress(word);
    if (lax != 0 && lax != -1) std::abort();

    unsigned char mac[MAC_ADDRESS_LEN] = {1, 2, 3, 4, 5, 6};
    const bool pairs = ParseMacPairs(word, mac, true);
    if (pairs != (ValidateMACAddress(word, nullptr) == 0)) std::abort();
    if (pairs) {
        unsigned char text[3 * MAC_ADDRESS_LEN];
        form_mac_string(text, mac, MAC_ADDRESS_LEN);
        for (std::size_t i = 0; i < MAC_TEXT_LEN - 1; ++i)
            if (text[i] != std::toupper(static_cast<unsigned char>(word[i]))) std::abort();
    } else if (mac[0] != 1 || mac[5] != 6) {
        std::abort();
    }
    unsigned char loose[MAC_ADDRESS_LEN];
    if (pairs && !ParseMacPairs(word, loose, false)) std::abort();

    unsigned char i2c = 7;
    if (!ReadAddressWord(word, &i2c) && i2c != 7) std::abort();
}

void CheckNumbers(const char* word)
{
    long value = 99;
    if (ReadWholeNumber(word, value)) {
        // The word is the number: its sign, then digits only (leading zeros allowed).
        const char* digits = word[0] == '-' || word[0] == '+' ? word + 1 : word;
        if (digits[0] == '\0' || std::strspn(digits, "0123456789") != std::strlen(digits)) std::abort();
        if ((value < 0) != (word[0] == '-' && std::strspn(digits, "0") != std::strlen(digits))) std::abort();
    } else if (value != 99) {
        std::abort();
    }
    const int name = validateCardName(word);
    const int user = ValidateUserOrPwd(word);
    if ((name != 0 && name != 1) || (user != 0 && user != 1)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The date is checked against UTC, where every local time exists once.
    setenv("TZ", "UTC", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string word(reinterpret_cast<const char*>(data), size);
    CheckDate(word.c_str());
    CheckAddresses(word.c_str());
    CheckNumbers(word.c_str());
    return 0;
}
