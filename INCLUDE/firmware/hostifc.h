// Host-interface records: the mailbox command block and the two small packets that
// cross the virtual CD-ROM drive. All multi-byte fields are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t X9CD_BLOCK_SIZE = 512;
inline constexpr char X9CD_CMD_SECTOR = 1;   // command block
inline constexpr char X9CD_DATA_SECTOR = 2;  // data stream
inline constexpr uint16_t X9CD_CMD_ZUNA = 0x0000;
inline constexpr uint16_t X9CD_CMD_OS_HEARTBEAT = 0xFFFE;
inline constexpr uint16_t X9CD_STATUS_BUSY = 0x8000;
inline constexpr uint16_t X9CD_STATUS_SUCCESS = 0;
inline constexpr uint16_t X9CD_STATUS_TOO_MUCH_DATA = 1;
inline constexpr uint16_t X9CD_STATUS_TOO_LITTLE_DATA = 2;
inline constexpr uint16_t X9CD_STATUS_UNSUPPORTED = 3;
inline constexpr char X9CD_BEGIN_SIG[16] = {'$', 'X', '9', '-', 'C', 'O', 'N', 'F',
                                            'I', 'G', '-', 'H', 'O', 'S', 'T', '$'};
inline constexpr unsigned char X9CD_END_SIG[2] = {0x55, 0xAA};

// Vendor SCSI opcodes of the card's drive.
inline constexpr unsigned char X9CD_OP_IDENTIFY = 0xEE;
inline constexpr unsigned char X9CD_OP_WRITE_SECTOR = 0xE2;
inline constexpr unsigned char X9CD_OP_READ_SECTOR = 0xE3;
inline constexpr unsigned char X9CD_OP_HB_START = 0xE5;
inline constexpr unsigned char X9CD_OP_HB = 0xE6;
inline constexpr unsigned char X9CD_OP_HB_END = 0xE7;
inline constexpr unsigned char X9CD_OP_MOUSE = 0xEB;
inline constexpr char X9CD_IDENTIFY_ANSWER[10] = "$$$TAV$$$";

#pragma pack(push, 1)
struct CONFIG_CMD {
    unsigned char BeginSig[16];
    uint16_t Command;
    uint16_t Status;
    uint32_t DataInLen;
    uint32_t DataOutLen;
    unsigned char Padding[474];
    uint32_t InternalUseDataIn;
    uint32_t InternalUseDataOut;
    unsigned char EndSig[2];
};

struct OS_HB_PACKET {
    int32_t OsHbByte;
};

struct HOST_MOUSE_PKT {
    uint8_t Event;  // bit 0 left, bit 1 right, bit 2 middle
    uint8_t dx;
    uint8_t dy;
    uint16_t AbsX;  // 0..1024 across the screen
    uint16_t AbsY;  // 0..768 down the screen
    uint16_t ResX;
    uint16_t ResY;
    uint8_t IsValidData;  // 1 apply, 2 nothing (poll slower), else nothing new
};

// 10-byte CDB, built in a 12-byte record; multi-byte fields big-endian.
struct SCSI_COMMAND_PACKET {
    uint8_t OpCode;
    uint8_t Lun;
    uint32_t Lba;
    union {
        struct {
            uint8_t Reserved6;
            uint16_t Length;
            uint8_t Reserved9[3];
        } Cmd10;
        uint8_t Raw[6];
    } u;
};
#pragma pack(pop)

static_assert(sizeof(CONFIG_CMD) == 512);
static_assert(offsetof(CONFIG_CMD, Command) == 16);
static_assert(offsetof(CONFIG_CMD, Status) == 18);
static_assert(offsetof(CONFIG_CMD, DataInLen) == 20);
static_assert(offsetof(CONFIG_CMD, DataOutLen) == 24);
static_assert(offsetof(CONFIG_CMD, InternalUseDataIn) == 502);
static_assert(offsetof(CONFIG_CMD, EndSig) == 510);
static_assert(sizeof(OS_HB_PACKET) == 4);
static_assert(sizeof(HOST_MOUSE_PKT) == 12);
static_assert(offsetof(HOST_MOUSE_PKT, AbsX) == 3);
static_assert(offsetof(HOST_MOUSE_PKT, ResY) == 9);
static_assert(offsetof(HOST_MOUSE_PKT, IsValidData) == 11);
static_assert(sizeof(SCSI_COMMAND_PACKET) == 12);
static_assert(offsetof(SCSI_COMMAND_PACKET, Lba) == 2);
static_assert(offsetof(SCSI_COMMAND_PACKET, u) == 6);
