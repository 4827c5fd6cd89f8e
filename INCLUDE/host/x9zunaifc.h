// CX9ZunaIfc: the client side of the ZUNA protocol. One instance per connection owns
// one transport medium, builds and checksums each request header, hands the packet to
// the medium, checks the reply header and returns the card's status.
//
// The rule for results, kept by every operation:
//  - the card's own status (wStatus of the reply) passes through unchanged;
//  - ZUNA_E_CONNECTION (33) stands for every failure below the card: the medium failed,
//    the reply header's checksum is wrong, or the reply is malformed (more data than the
//    caller's buffer holds, or than the packet carried);
//  - an operation that checks something locally says so in its own comment.
// Every operation passes its own record's size, so no reply is ever copied past the
// caller's buffer.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "adv.h"
#include "cksum.h"  // CalculateMD5Digest, the login digest
#include "fileapi.h"
#include "flashblk.h"
#include "general.h"
#include "login.h"
#include "network.h"  // form_mac_string, calc_chksum
#include "pef.h"
#include "powermgr.h"
#include "sdk.h"
#include "sel.h"
#include "users.h"
#include "x9reader.h"
#include "zunahdr.h"
#include "x9zunamedium.h"

enum X9ZUNAIFC_MEDIUM { MEDIUM_CD = 0, MEDIUM_NW = 1 };
enum X9ZUNAIFC_OS { OS_WINDOWS = 0, OS_LINUX = 1 };

// The message of a status code; codes outside 0..35 give "Unknown ZUNA error".
const char* GetZunaErrorString(int code);

// One line describing a request (toCard) or reply packet of `len` bytes for a trace:
// the header's fields and the first kTraceDataBytes bytes of its data in hex. A login
// request (0x0002) shows its user name and "<hidden>" for the digest.
inline constexpr std::size_t kTraceDataBytes = 16;
std::string DescribeZunaPacket(bool toCard, const unsigned char* packet, std::size_t len);

// The medium of a new client, made by the platform's media library: MEDIUM_NW the
// network medium for IPAddress:nPort, MEDIUM_CD the host-interface medium, null for any
// other value. Nothing is connected.
std::unique_ptr<CX9ZunaMedium> CreateZunaMedium(X9ZUNAIFC_MEDIUM medium, const char* IPAddress, int nPort);

// The user-list decoders (layouts in users.h): `len` bytes of a list reply into a table
// of `tableSize` entries. The count is len divided by the entry's length (a shorter
// tail is dropped), cut to the table; each text is copied up to its NUL or its field's
// end, at most 31 characters, into its zero-filled field. Return the count.
int UnpackUserNames(const unsigned char* data, uint32_t len, char (*names)[USER_TEXT_LEN], int tableSize);
int UnpackUserList(const unsigned char* data, uint32_t len, ZUNA_API_USER_REC* users, int tableSize);
int UnpackSnmpUserList(const unsigned char* data, uint32_t len, ZUNA_API_SNMP_USER_REC* users, int tableSize);

// The sensor tree of a 0x0202 reply (layouts in sdk.h): the `len` bytes at data read
// through a WireReader and decoded into the `len` bytes at out (which may be data
// itself): every converted number in host order, and every link the offset within the
// tree of the item it announces (0: none; the head is at offset 0, never a link's
// target); the head's own numbers and any bytes after the last node stay as they
// came. data is never changed. The walk stays inside the `len` bytes: a list that runs
// past them, a node cut short, or a count (subdivision_count, access_count) of more
// nodes than the rest of the data holds gives 33, and so does a stream shorter than the
// head; out is then not written. Otherwise 0.
ZUNA_ERROR DecodeSensorStream(const unsigned char* data, uint32_t len, unsigned char* out);
// What ReadSensors's buffer should hold: the largest reply.
inline constexpr uint32_t SDK_SENSOR_BUFFER_LEN = ZUNA_MAX_DATA_LEN;

// Progress of the client's multi-block loops: called once per block, when the block's
// data is in hand and before it goes on (after the host file's read and before the
// card's write; after the card's read and before the file's or buffer's write), with
// the blocks of the image or module before this one and their total. Not called again
// once a block has failed; an empty callback is not called.
using BlockProgress = std::function<void(unsigned done, unsigned total)>;

// Where a block loop over a host file stopped: status 0, or the failed step's own
// status, hostFile telling the file's short read or write (status 21) from the card's.
struct BlockLoopResult {
    ZUNA_ERROR status = ZUNA_E_SUCCESS;
    bool hostFile = false;
};

class CX9ZunaIfc {
public:
    // Creates the medium with CreateZunaMedium: MEDIUM_NW the network medium for
    // IPAddress:nPort, MEDIUM_CD the host-interface medium. Does not connect. Any other
    // medium value leaves the client without a medium: Connect then fails with 33.
    CX9ZunaIfc(X9ZUNAIFC_MEDIUM medium, X9ZUNAIFC_OS os, const char* IPAddress, int nPort);
    // Takes a ready medium (tests use a scripted one).
    explicit CX9ZunaIfc(std::unique_ptr<CX9ZunaMedium> medium);
    ~CX9ZunaIfc();
    CX9ZunaIfc(const CX9ZunaIfc&) = delete;
    CX9ZunaIfc& operator=(const CX9ZunaIfc&) = delete;

    ZUNA_ERROR Connect();
    ZUNA_ERROR Disconnect();

    // One exchange. sendData holds the request data (its first sendDataLen bytes are
    // sent) and receives the reply data; bufSize is how many bytes it has room for.
    // *pRecvLen must be 0 on entry (the host interface hands it to the card as the
    // expected reply length) and receives the reply's data length.
    //  - sendDataLen above 66,528 or above bufSize: 33, nothing sent.
    //  - medium failure: 33 (the medium's code is kept in IssueLastError).
    //  - bad reply checksum, a reply whose wCommand is not cmdNum, a reply header
    //    shorter than 32 bytes (bHeaderLen), reply data longer than bufSize or than
    //    the packet that arrived: 33, *pRecvLen 0, sendData untouched. The data is taken from where the header ends.
    //  - otherwise the card's status; reply data (if any) is copied even when nonzero.
    ZUNA_ERROR SendZunaCommand(uint16_t cmdNum, void* sendData, uint32_t sendDataLen,
                               uint32_t* pRecvLen, uint32_t timeout, uint32_t bufSize);

    // The CRC-32 of flash blocks and file fragments: what calc_cksum32 gives.
    static uint32_t CalculateCrc32(const unsigned char* buf, unsigned long len) { return calc_cksum32(buf, len); }

    int GetZunaMaxDataLength() const { return static_cast<int>(maxHostDataLen); }
    uint32_t GetIssueLastError() const { return IssueLastError; }

    // Replaces the medium's fixed waits (connection, each reply, the host interface's
    // busy poll) with one limit.
    void SetWaitLimit(std::chrono::milliseconds limit);
    // A sink told, one line at a time, of every request and reply header (its fields,
    // and the first bytes of its data in hex; a login's password digest is never
    // shown) and of what the medium does below the packets. None by default.
    using TraceSink = CX9ZunaMedium::TraceSink;
    void SetTrace(TraceSink sink);

    // Login (network medium). Asks for a fresh challenge (a challenge exchange that
    // failed: 33; a challenge the card refused: ZUNA_E_AUTH), then sends the user name
    // and MD5(password + challenge). Returns the card's status, or 33 when the login
    // exchange itself failed. Texts longer than 31 characters are refused with
    // ZUNA_E_ARG before anything is sent. The password copy is wiped.
    int ZunaLogin(CONN_LOGIN_DATA* pData);
    int ZunaLogin(const char* username, const char* password);

    // General operations (command group 0x09, card mode 0x0607/0x0608).
    ZUNA_ERROR SetCardToFlashMode();
    ZUNA_ERROR GetCardMode(char* mode);
    // Both resets wait 3 seconds after the exchange, whatever its outcome.
    ZUNA_ERROR ResetX9SaveConfig();
    ZUNA_ERROR ResetX9NoConfig();
    ZUNA_ERROR KillProcesses();
    ZUNA_ERROR GetFWInfo(STRUCT_FW_INFO* info);
    ZUNA_ERROR SetServerInfo(SERVER_INFO_STRUCT_tag* info);
    ZUNA_ERROR GetServerInfo(SERVER_INFO_STRUCT_tag* info);
    // name: a buffer of CARD_NAME_LEN (256) bytes. The name is a text of any length up
    // to the buffer's: the buffer is cleared first, so a short reply leaves zeros, and
    // only a successful reply's text is copied into it (after a failure it is all zeros).
    ZUNA_ERROR SetCardName(const char* name);
    ZUNA_ERROR GetCardName(char* name);
    ZUNA_ERROR SetSmtpConfig(SMTP_CONFIG_INFO_tag* cfg);
    ZUNA_ERROR GetSmtpConfig(SMTP_CONFIG_INFO_tag* cfg);
    // epochtime in host order on entry. Reads the card's clock first (failure: 30);
    // a backward move needs rollback 1 (else 26, nothing sent); a forward move is sent
    // with rollback 0 (set in the record too). epochtime stays in host order.
    ZUNA_ERROR SetCardTime(X9_TIME_STRUCT_tag* t);
    // On success the record holds the card's time, epochtime in host order.
    ZUNA_ERROR GetCardTime(X9_TIME_STRUCT_tag* t);

    // Event log (0x0400..0x0408). Records are in host order before and after: their
    // BE fields go out in wire order, and a query's successful reply, which must fill
    // the record (else 33), is decoded over it; a failed one leaves it as it was.
    ZUNA_ERROR GetSelInfo(SEL_STATE_INFO_TAG* pSelState);
    ZUNA_ERROR GetSelRecord(DUVX9_SEL_RECORD_TAG* pSelRec);
    ZUNA_ERROR AddSelRecord(DUVX9_SEL_RECORD_TAG* pSelRec);
    ZUNA_ERROR ClearSelList(uint16_t* numRecs);
    // Sends only record_no (2 bytes, BE).
    ZUNA_ERROR DelSelRecord(DUVX9_SEL_RECORD_TAG* pSelRec);
    ZUNA_ERROR PostEvent(DUVX9_SEL_RECORD_TAG* pSelRec);
    ZUNA_ERROR GetSelPolicy(uint8_t* policy);
    ZUNA_ERROR SetSelPolicy(uint8_t policy);
    ZUNA_ERROR GetSelRecordEx(EVENT_RECORD_EXT_tag* pSelRecEx);

    // Alerting (0x040A..0x040F). The PEF records have no byte order to mind.
    ZUNA_ERROR GetPEFInfo(PEF_INFO_tag* info);
    // param: a parameter record whose paramSelect (and index, and for a write the data)
    // the caller filled; GetPefConfigDataLen(param) bytes of it travel. A read's
    // successful reply must fill those bytes (else 33) and overwrites them.
    ZUNA_ERROR SetPEFConfig(void* param);
    ZUNA_ERROR GetPEFConfig(void* param);
    // The record's length by its selector (see PefConfigParamLen); 0 for null. No
    // exchange.
    unsigned int GetPefConfigDataLen(void* param);
    // The card makes its default PEF configuration; any reply data is ignored.
    ZUNA_ERROR MakeDefaPefConfig();
    // Sends the recipient as its list of eight name/value pairs (4,096 bytes).
    ZUNA_ERROR SetAlertRecpData(ALERT_RECEP_INFO_tag* info);
    // Asks for recipient info->arId and fills the texts by the keys the reply carries
    // (in any order; a key not carried leaves its field, arId is never changed). A value
    // longer than its field is cut to 31 characters. Refused (33): a reply that ends
    // inside one of its first eight pairs; one that names none of the recipient's keys
    // (no data, or only empty pairs); one whose RECIPIENT_SELECT is not the number asked
    // for (another recipient's list). The record changes only on success.
    ZUNA_ERROR GetAlertRecpData(ALERT_RECEP_INFO_tag* info);

    // Network (0x0700..0x0702). record: a ZUNA_API_GET_NETWORK_CFG_REC (224 bytes).
    ZUNA_ERROR GetCurrentNetworkConfiguration(char* record);
    // Texts of 32 characters or more do not fit their fields: 28, nothing sent.
    // timeout is handed to the exchange unchanged.
    ZUNA_ERROR SetNetworkStatically(const char* ip, const char* netmask, const char* gateway,
                                    unsigned long timeout);
    ZUNA_ERROR SetNetworkwithDHCP();

    // MAC address (0x0800 read, 0x0801 write). text: MAC_TEXT_LEN (18) bytes. A read
    // reply other than six bytes is refused (33); text/mac are then untouched.
    ZUNA_ERROR GetCurrentMACAddressString(unsigned char* text);
    ZUNA_ERROR GetCurrentMACAddressBytes(unsigned char* mac);
    // Parses the 17-character text form (pairs at 0, 3, ..., 15); a shorter text or a
    // pair that is not hexadecimal gives 28 and nothing is sent.
    ZUNA_ERROR SetMACAddressString(const unsigned char* text);
    // Six bytes and their check byte.
    ZUNA_ERROR SetMACAddressBytes(const unsigned char* mac);
    // The write, then (only when the write succeeded) ResetX9SaveConfig. Returns the
    // write's status when it failed, else the reset's.
    ZUNA_ERROR SetMACAddressBytesAndResetX9(const unsigned char* mac);

    // Heartbeat interval (0x0A00, 0x0A01), seconds, 4 bytes BE on the wire.
    ZUNA_ERROR SetHeartbeatInterval(unsigned long hbInterval);
    // Stores the reply's value at hbInterval whatever the status (0 when no whole
    // value came).
    // A successful reply other than 4 bytes is refused (33).
    ZUNA_ERROR GetHeartbeatInterval(unsigned long* hbInterval);

    // Users and SNMP users (0x0500..0x0507). The card decides on duplicates, missing
    // users and its limits; its status passes through.
    ZUNA_ERROR AddNewUser(ZUNA_API_USER_REC* user);
    // Builds the record from the texts; a text of 32 characters or more does not fit
    // its field: 28, nothing sent.
    ZUNA_ERROR AddNewUser(const char* username, const char* password);
    // The card removes the user named in username.
    ZUNA_ERROR RemoveUser(ZUNA_API_USER_REC* user);
    ZUNA_ERROR AddSNMPUser(ZUNA_API_SNMP_USER_REC* user);
    // The lists, each from one reply of at most USER_LIST_MAX_LEN bytes (a longer one
    // is refused: 33), unpacked into the caller's table of tableSize entries by the
    // decoders above. *count is 0 whenever the status is not 0.
    ZUNA_ERROR GetAllUsernames(char (*names)[USER_TEXT_LEN], int tableSize, int* count);
    ZUNA_ERROR GetAllUsernamePassword(ZUNA_API_USER_REC* users, int tableSize, int* count);
    ZUNA_ERROR GetAllSNMPUserInfo(ZUNA_API_SNMP_USER_REC* users, int tableSize, int* count);

    // Advanced settings (0x0C00..0x0C0B). Records travel whole; texts are not checked
    // here (the tool checks them).
    ZUNA_ERROR GetPppServerIps(PPP_SERVER_IP_REC* ips);
    ZUNA_ERROR SetPppServerIps(PPP_SERVER_IP_REC* ips);
    // The request names the port in `dev` (other fields empty); the reply fills the
    // record for that port.
    ZUNA_ERROR GetModemConfig(MODEM_CONFIG_REC* cfg);
    ZUNA_ERROR SetModemConfig(MODEM_CONFIG_REC* cfg);
    // The record in host order, asr_delay sent in wire order; a successful reply is
    // decoded over it.
    ZUNA_ERROR GetASRConfig(ASR_REC_tag* asr);
    // Sends asr_delay in wire order; the caller's record is not changed.
    ZUNA_ERROR SetASRConfig(ASR_REC_tag* asr);
    // One byte each way.
    ZUNA_ERROR GetI2CConfig(unsigned char* address);
    ZUNA_ERROR SetI2CConfig(unsigned char* address);
    // The 32-bit fields are little-endian on the wire: on success they are in host
    // order; a write sends them converted and leaves the caller's record as it was.
    ZUNA_ERROR GetIPMIConfig(IPMI_CONFIG_INFO_tag* cfg);
    ZUNA_ERROR SetIPMIConfig(IPMI_CONFIG_INFO_tag* cfg);

    // Host power (0x0300): one byte, HOST_POWER_RESET .. HOST_POWER_CYCLE.
    ZUNA_ERROR RemoteHostPowerControl(unsigned char* action);
    // Card health (0x0100): entries holds X9_HEALTH_ENTRIES (6) records. The reply must
    // fill all six (else 33); on success their six numbers are in host order.
    ZUNA_ERROR GetCardHealth(X9_HEALTH_INFO_tag* entries);

    // File transfer (0x060A, 0x060B) in fragments of 65536 bytes, each with its CRC-32.
    // Card paths have at most 79 characters (longer, empty or null: 28, nothing sent
    // and no host file touched). Results: 14 for a host file that cannot be opened,
    // 33 when the medium fails or a reply is malformed, 30 when the card refuses a
    // fragment; files opened here are closed on every path.
    // UploadFile: host file srcFile to card path dstFile. An empty file sends one
    // fragment of length 0 (so the card's file becomes empty); a file of more than
    // 65536 fragments is refused (28) before anything is sent; a read error gives 21.
    ZUNA_ERROR UploadFile(const char* srcFile, const char* dstFile);
    // DownloadFile: card path srcFile to host file dstFile, which is replaced only when
    // the whole file has arrived (CX9HostFileReplacement): on any failure it stays as it
    // was. Fragment i's data is written at i times 65536; the card's status 6 marks the
    // last. A fragment whose CRC differs: 34; a short write: 18; more than 65536
    // fragments without a last one: 33.
    ZUNA_ERROR DownloadFile(const char* srcFile, const char* dstFile);
    // One fragment each way; the record is in host order before and after. Send: the
    // whole record goes out (65628 bytes). Get: the first 92 bytes go out and the
    // reply's record (its 92 bytes and all the data it carries) is decoded over the
    // caller's; a successful reply shorter than 92 bytes, with dataLength above 65536,
    // with less data than dataLength or numbered for another fragment than the one
    // asked for is refused (33). The caller's record changes only on success.
    ZUNA_ERROR SendFileFragment(FILE_API_RECORD* rec);
    ZUNA_ERROR GetFileFragment(FILE_API_RECORD* rec);

    // Flash (0x0601..0x0606), one 65536-byte block per request, each with its CRC-32.
    // Records are in host order before and after. WriteBlock sets checkSum itself;
    // ReadBlock sends the first 10 bytes and takes a reply that fills the whole record
    // and names the block asked for (else 33), 34 when the data does not match its
    // CRC; the record changes only on success. A block number past 63 is refused (28)
    // before anything is sent.
    ZUNA_ERROR WriteBlock(FLASH_BLOCK_RECORD* rec);
    ZUNA_ERROR ReadBlock(FLASH_BLOCK_RECORD* rec);
    // 28 for a name without ".ima" (case-sensitive), 14 unopenable, 34 a failed check
    // (withBoot: the BOOT module checked too), 21 a file shorter than the 64 blocks.
    ZUNA_ERROR ValidateImageFile(const char* fileName, bool withBoot = false);
    // Whole image, boot block included, file block i to flash block i. Image refused
    // (BOOT checked too): 28; short file: 21, nothing written; a failed block: 33 when
    // the card is gone or its reply malformed, else 30.
    ZUNA_ERROR UploadFirmware(const char* fileName, const BlockProgress& progress = {});
    // The whole flash into a file that already holds a valid image (else 28), replaced
    // only when all 64 blocks have arrived; a failed block as above, a short write 21.
    ZUNA_ERROR DownloadFirmware(const char* fileName, const BlockProgress& progress = {});
    // The loops behind the two, for callers that open the file and print their own
    // steps; a failed block gives the card's or the medium's own status (not 30).
    // WriteImageBlocks: flash blocks first..63 from `image`, which stands at block
    // first's data (first past 64: 28, nothing sent). ReadImageBlocks: the 64 flash
    // blocks appended to `image`. A null stream: 14 (hostFile), nothing sent.
    BlockLoopResult WriteImageBlocks(std::FILE* image, uint32_t first, const BlockProgress& progress = {});
    BlockLoopResult ReadImageBlocks(std::FILE* image, const BlockProgress& progress = {});
    // A module's info.numBlocks blocks from `data`, block i to flash block
    // info.blockStart + i. Data of another length than numBlocks times 65536, or a
    // module past the flash: 28, nothing sent. A failed block: its own status; the
    // blocks before it stay written.
    ZUNA_ERROR WriteModuleBlocks(const FLASH_MODULE_INFO& info, const std::vector<unsigned char>& data,
                                 const BlockProgress& progress = {});
    ZUNA_ERROR ConfigFlash();
    ZUNA_ERROR SDKFlash();
    // Sends the record as filled (only modName matters). A reply placing the module
    // past the flash's 64 blocks, or giving it no block, is refused (33). The record
    // changes only on success.
    ZUNA_ERROR ModuleGetNumBlocks(FLASH_MODULE_INFO* info);
    // The configuration module's blocks, whole, into a file (short write 18; the file is
    // replaced only when every block has arrived) or into `data`, sized from the
    // module's location first. A failed block as above.
    ZUNA_ERROR ConfigGetFile(const char* fileName, const BlockProgress& progress = {});
    ZUNA_ERROR ConfigGetBuffer(std::vector<unsigned char>& data, const BlockProgress& progress = {});
    // 0 when flash block firstBlk carries module sec_name's signature and the same
    // fmh_alloc_space as the image stream fp at that block; 31 otherwise, 35 for a
    // short header read. fp stays open.
    ZUNA_ERROR IsSameImageFormat(unsigned long firstBlk, const char* sec_name, FILE* fp);
    // 1 when the 65536 bytes differ from flash block 0 (or size is not 65536, nothing
    // sent), 0 when equal, else the failed read's status.
    int IsBootBlockChanged(const unsigned char* fileData, int size);

    // Sensor SDK (0x0200..0x0202).
    // UploadFile to SDK_CARD_PATH, then SDKFlash, then RereadSDK: the first nonzero
    // status (the upload's codes as UploadFile gives them), else 0.
    ZUNA_ERROR UploadSDK(const char* fileName);
    ZUNA_ERROR DeleteSDK();
    // The card's monitoring service restarts and reads its SDK again.
    ZUNA_ERROR RereadSDK();
    // The sensor tree into buffer (bufSize bytes; SDK_SENSOR_BUFFER_LEN holds any
    // reply), decoded by DecodeSensorStream, its head at the start. A reply without
    // data gives 30 whatever the card's status; a failed exchange or a reply that does
    // not decode 33; otherwise the card's status. The buffer is written only on
    // success: after any failure it holds what the caller gave.
    ZUNA_ERROR ReadSensors(unsigned char* buffer, uint32_t bufSize);

    // The wait after a reset, in microseconds (3 s); tests may shorten it.
    unsigned int resetWaitMicros = 3000000;

protected:
    static unsigned char CalculateModule100(const unsigned char* Buffer, uint16_t wSize);
    static unsigned char ValidateCheckSum(const unsigned char* Buffer, uint16_t wSize);
    int SetZunaHeader(uint16_t cmdNum, unsigned char* pBuf, uint32_t cmdDataLen);
    // Kept from the protocol's client interface; nothing calls it.
    int SetZunaSendDataLength(unsigned char* pBuf, uint32_t dataLength);
    int GetChallenge(unsigned char* challenge);

    // Replies are decoded at the boundary: requests are built and replies received in
    // buffers of the client's own, read through a WireReader (x9reader.h), and a
    // caller's record is written only once a successful reply has decoded whole. So a
    // record is in host order before and after every operation, and on failure it is
    // as the caller gave it.
    //
    // One exchange: sendLen bytes at request go out; the reply's data (at most replyMax
    // bytes, else 33) comes back in `reply` (empty on 33), whatever the card's status.
    ZUNA_ERROR Exchange(uint16_t cmdNum, const void* request, uint32_t sendLen, uint32_t replyMax,
                        std::vector<unsigned char>& reply);
    // The same without copies: the request's sendLen bytes are written at RequestData()
    // (room for ZUNA_MAX_DATA_LEN bytes) beforehand, and `data` views the reply's data
    // in the client's reply buffer, valid until the next exchange (empty on 33).
    ZUNA_ERROR ExchangeInPlace(uint16_t cmdNum, uint32_t sendLen, uint32_t replyMax,
                               std::span<const unsigned char>& data);
    unsigned char* RequestData();
    // A record of `size` bytes whose listed fields travel in their wire order: the first
    // sendLen bytes of the request record (host order) go out; a successful reply must
    // fill all `size` bytes (else 33) and is then decoded into out (host order; out may
    // be the request). out is written only on success.
    ZUNA_ERROR ExchangeFields(uint16_t cmdNum, const void* request, uint32_t sendLen, void* out, uint32_t size,
                              WireFields fields);
    // The record (host order) sent whole in wire order; no reply data expected. The
    // record is not changed.
    ZUNA_ERROR SendFields(uint16_t cmdNum, const void* rec, uint32_t size, WireFields fields);
    // The same for records without numbers to turn: a query without request data, an
    // exchange of the first sendLen bytes, a request without reply data.
    ZUNA_ERROR QueryRecord(uint16_t cmdNum, void* rec, uint32_t size);
    ZUNA_ERROR ExchangeRecord(uint16_t cmdNum, void* rec, uint32_t sendLen, uint32_t size);
    ZUNA_ERROR SendRecord(uint16_t cmdNum, void* rec, uint32_t size);
    // A list query without request data: its reply (at most USER_LIST_MAX_LEN bytes)
    // handed to `decode` with its length when the status is 0, else (null, 0); *count
    // is what decode returns.
    using ListDecoder = std::function<int(const unsigned char* data, uint32_t len)>;
    ZUNA_ERROR QueryList(uint16_t cmdNum, const ListDecoder& decode, int* count);

    ZUNA_HEADER ZunaHeader;  // filled once, never read: each request builds its own header
    ZUNA_VER zunaVer;
    uint32_t maxHostDataLen;
    uint32_t zunaSendLen;  // written by SetZunaHeader, never read
    uint32_t IssueLastError;
    std::unique_ptr<CX9ZunaMedium> m_pZunaMedium;
    TraceSink m_trace;

private:
    // The exchange behind the others: the request data is at RequestData(); `data`
    // views the reply's data (at most bufSize bytes) in m_reply, or is null when the
    // reply was refused (33); `answered` says whether a reply came at all.
    ZUNA_ERROR Transact(uint16_t cmdNum, uint32_t sendDataLen, uint32_t bufSize, unsigned long expected,
                        uint32_t timeout, std::span<const unsigned char>& data, bool& answered);
    // Flash block n asked for (checkSum and status as the request's fields), and its
    // reply: its data (a view, valid until the next exchange), and in checkSum and
    // status the reply's fields, the CRC-32 unchecked; 33 for a reply that does not
    // fill the record or names another block.
    ZUNA_ERROR ReceiveBlock(uint32_t n, std::span<const unsigned char>& data, uint32_t& checkSum, int16_t& status);
    // Flash block n written from `data` (65536 bytes) with its CRC-32.
    ZUNA_ERROR SendBlock(uint32_t n, const unsigned char* data, uint32_t checkSum);
    // Blocks first .. first + count - 1 read in turn, each checked and handed to `take`
    // (with its index from 0) on a worker beside the next block's exchange.
    using BlockTake = std::function<BlockLoopResult(uint32_t index, const unsigned char* data)>;
    BlockLoopResult ReadBlockRange(uint32_t first, uint32_t count, std::FILE* stream, const BlockProgress& progress,
                                   const BlockTake& take);
    // A module's blocks through ReadBlockRange: a failed exchange or CRC gives 33 when the
    // card is gone or its reply malformed, else 30; what `take` refuses, its own status.
    ZUNA_ERROR CopyModuleBlocks(const FLASH_MODULE_INFO& info, std::FILE* stream, const BlockProgress& progress,
                                const BlockTake& take);

    // The client's request and reply packets, made at the first exchange and reused.
    std::unique_ptr<unsigned char[]> m_request;
    std::unique_ptr<unsigned char[]> m_reply;

    friend class ZunaIfcTestAccess;
};

// A host file that a download replaces only once the whole transfer has succeeded.
// The bytes go to a new file beside the target (its name followed by a dot and six
// characters), which Commit() flushes to the disk and renames over the target, keeping
// the mode (and, where allowed, the owner) of a target that existed. Without a
// successful Commit, on every failure path, the new file is removed and the target is
// as it was. A link is followed: the file it names is replaced. A target that exists
// and is no regular file (a device, a pipe) cannot be replaced and is written in place.
class CX9HostFileReplacement {
public:
    explicit CX9HostFileReplacement(const char* target);
    ~CX9HostFileReplacement();
    CX9HostFileReplacement(const CX9HostFileReplacement&) = delete;
    CX9HostFileReplacement& operator=(const CX9HostFileReplacement&) = delete;

    // The stream to write; null when the new file could not be made.
    std::FILE* Stream() const { return m_file; }
    // Flushes, syncs and closes the new file, then renames it over the target; false
    // (the new file removed, the target untouched) when any step fails.
    bool Commit();

private:
    std::string m_target;
    std::string m_temporary;  // empty when the target is written in place
    std::FILE* m_file = nullptr;
};
