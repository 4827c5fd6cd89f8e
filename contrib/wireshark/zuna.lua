-- ZUNA, the card's configuration protocol on TCP port 6577, for Wireshark and tshark.
--
--   tshark -r session.pcapng -X lua_script:zuna.lua -Y zuna
--
-- or copy this file into a Lua plugin folder (`tshark -G folders` names them).
-- Every packet is a 32-byte header (little-endian numbers; its 32 bytes sum to 0
-- modulo 256) and the data it announces. Packets sent to port 6577 are requests,
-- those from it replies. The login, flash block, module location and file fragment
-- records are shown field by field (their numbers are big-endian); the CRC-32 of a
-- block or fragment is checked against its data.

local ZUNA_PORT = 6577
local HEADER_LEN = 32
local MAX_PACKET_LEN = 66560 -- header and data, the most either end reads
local SIGNATURE = "\x54\x41\x56\x20\x55\xAA\x5A\xA5"
local FLASH_BLOCK_LEN = 65536
local FLASH_BLOCK_HEADER_LEN = 10
local FLASH_BLOCK_RECORD_LEN = FLASH_BLOCK_HEADER_LEN + FLASH_BLOCK_LEN
local MODULE_INFO_LEN = 26
local FILE_NAME_LEN = 80
local FILE_API_HEADER_LEN = 92
local FILE_FRAGMENT_LEN = 65536
local LOGIN_RECORD_LEN = 72
local CHALLENGE_LEN = 8

-- The command codes of INCLUDE/firmware/zunacmds.h, without their ZUNACMD_ prefix.
local commands = {
    [0x0001] = "GET_CHALLENGE",
    [0x0002] = "LOGIN",
    [0x0100] = "GET_CARD_HEALTH",
    [0x0200] = "DELETE_SDK",
    [0x0201] = "REREAD_SDK",
    [0x0202] = "READ_SENSORS",
    [0x0300] = "HOST_POWER_CONTROL",
    [0x0400] = "GET_SEL_INFO",
    [0x0401] = "GET_SEL_RECORD",
    [0x0402] = "ADD_SEL_RECORD",
    [0x0403] = "CLEAR_SEL_LIST",
    [0x0404] = "DEL_SEL_RECORD",
    [0x0405] = "POST_EVENT",
    [0x0406] = "GET_SEL_POLICY",
    [0x0407] = "SET_SEL_POLICY",
    [0x0408] = "GET_SEL_RECORD_EX",
    [0x040A] = "GET_PEF_INFO",
    [0x040B] = "SET_PEF_CONFIG",
    [0x040C] = "GET_PEF_CONFIG",
    [0x040D] = "MAKE_DEFAULT_PEF_CONFIG",
    [0x040E] = "SET_ALERT_RECP_DATA",
    [0x040F] = "GET_ALERT_RECP_DATA",
    [0x0500] = "ADD_NEW_USER",
    [0x0501] = "REMOVE_USER",
    [0x0502] = "GET_ALL_USERNAME_PASSWORD",
    [0x0503] = "GET_ALL_USERNAMES",
    [0x0506] = "ADD_SNMP_USER",
    [0x0507] = "GET_ALL_SNMP_USER_INFO",
    [0x0601] = "WRITE_BLOCK",
    [0x0602] = "READ_BLOCK",
    [0x0603] = "CONFIG_FLASH",
    [0x0605] = "MODULE_GET_NUM_BLOCKS",
    [0x0606] = "SDK_FLASH",
    [0x0607] = "SET_CARD_TO_FLASH_MODE",
    [0x0608] = "GET_CARD_MODE",
    [0x060A] = "GET_FILE_FRAGMENT",
    [0x060B] = "SEND_FILE_FRAGMENT",
    [0x0700] = "GET_NETWORK_CONFIG",
    [0x0701] = "SET_NETWORK_STATIC",
    [0x0702] = "SET_NETWORK_DHCP",
    [0x0800] = "GET_MAC_ADDRESS",
    [0x0801] = "SET_MAC_ADDRESS",
    [0x0900] = "RESET_SAVE_CONFIG",
    [0x0901] = "RESET_NO_CONFIG",
    [0x0902] = "KILL_PROCESSES",
    [0x0903] = "GET_FW_INFO",
    [0x0904] = "SET_SERVER_INFO",
    [0x0905] = "GET_SERVER_INFO",
    [0x0906] = "SET_CARD_NAME",
    [0x0907] = "GET_CARD_NAME",
    [0x0908] = "SET_SMTP_CONFIG",
    [0x0909] = "GET_SMTP_CONFIG",
    [0x090A] = "SET_CARD_TIME",
    [0x090B] = "GET_CARD_TIME",
    [0x0A00] = "GET_HEARTBEAT_INTERVAL",
    [0x0A01] = "SET_HEARTBEAT_INTERVAL",
    [0x0C00] = "GET_PPP_SERVER_IPS",
    [0x0C01] = "SET_PPP_SERVER_IPS",
    [0x0C02] = "GET_MODEM_CONFIG",
    [0x0C03] = "SET_MODEM_CONFIG",
    [0x0C06] = "GET_ASR_CONFIG",
    [0x0C07] = "SET_ASR_CONFIG",
    [0x0C08] = "GET_I2C_CONFIG",
    [0x0C09] = "SET_I2C_CONFIG",
    [0x0C0A] = "GET_IPMI_CONFIG",
    [0x0C0B] = "SET_IPMI_CONFIG",
}

-- The status codes of INCLUDE/firmware/zunahdr.h, without their ZUNA_E_ prefix.
local statuses = {
    [0] = "SUCCESS",
    [1] = "AUTH",
    [2] = "NEEDAUTH",
    [3] = "BUSY",
    [4] = "AGAIN",
    [5] = "PERM",
    [6] = "CANCEL",
    [7] = "INTR",
    [8] = "ARG",
    [9] = "ARGCOUNT",
    [10] = "PROGRESS",
    [11] = "SHUTDOWN",
    [12] = "ACCESS",
    [13] = "HANDLE",
    [14] = "FILEOPEN",
    [15] = "EXIST",
    [16] = "NOEXIST",
    [17] = "MEMORY",
    [18] = "SPACE",
    [19] = "RDONLY",
    [20] = "NODEV",
    [21] = "IO",
    [22] = "FAULT",
    [23] = "NFILE",
    [24] = "TMOUT",
    [25] = "DEADLOCK",
    [26] = "RANGE",
    [27] = "NULL",
    [28] = "INVALID",
    [29] = "BUFFER",
    [30] = "GENERAL",
    [31] = "VERSION",
    [32] = "UNSUPPORTED",
    [33] = "CONNECTION",
    [34] = "CHECKSUM",
    [35] = "FILEREAD",
    [36] = "FILEWRITE",
    [65535] = "LASTERR",
}

local CMD_GET_CHALLENGE = 0x0001
local CMD_LOGIN = 0x0002
local CMD_WRITE_BLOCK = 0x0601
local CMD_READ_BLOCK = 0x0602
local CMD_MODULE_GET_NUM_BLOCKS = 0x0605
local CMD_GET_FILE_FRAGMENT = 0x060A
local CMD_SEND_FILE_FRAGMENT = 0x060B

local zuna = Proto("zuna", "ZUNA card configuration protocol")

local f = {
    direction = ProtoField.uint8("zuna.direction", "Direction", base.DEC, {[0] = "request", [1] = "reply"}),
    signature = ProtoField.bytes("zuna.signature", "Signature"),
    version = ProtoField.string("zuna.version", "Protocol version"),
    header_length = ProtoField.uint8("zuna.header_length", "Header length", base.DEC),
    checksum = ProtoField.uint8("zuna.checksum", "Header checksum", base.HEX),
    checksum_status = ProtoField.uint8("zuna.checksum.status", "Header checksum status", base.DEC,
        {[0] = "Bad", [1] = "Good"}),
    data_length = ProtoField.uint32("zuna.data_length", "Data length", base.DEC),
    vendor_id = ProtoField.uint16("zuna.vendor_id", "Vendor ID", base.HEX),
    product_id = ProtoField.uint16("zuna.product_id", "Product ID", base.HEX),
    command = ProtoField.uint16("zuna.command", "Command", base.HEX, commands),
    status = ProtoField.uint16("zuna.status", "Status", base.DEC, statuses),
    api_version = ProtoField.string("zuna.api_version", "API version"),
    originator = ProtoField.uint8("zuna.originator", "Originator", base.DEC),
    client_data = ProtoField.uint8("zuna.client_data", "Client data", base.HEX),
    reserved = ProtoField.bytes("zuna.reserved", "Reserved"),
    request_command = ProtoField.uint16("zuna.request_command", "Answers the request", base.HEX, commands),
    data = ProtoField.bytes("zuna.data", "Data"),
    skipped = ProtoField.bytes("zuna.skipped", "Bytes before the signature"),

    challenge = ProtoField.bytes("zuna.challenge", "Challenge"),
    login_user = ProtoField.string("zuna.login.username", "User name"),
    login_digest = ProtoField.bytes("zuna.login.digest", "Digest of password and challenge (MD5)"),
    login_pad = ProtoField.bytes("zuna.login.padding", "Digest field padding"),
    login_challenge = ProtoField.bytes("zuna.login.challenge", "Challenge field"),

    block_number = ProtoField.uint32("zuna.block.number", "Flash block", base.DEC),
    block_crc = ProtoField.uint32("zuna.block.crc", "Block CRC-32", base.HEX),
    block_status = ProtoField.int16("zuna.block.status", "Block status", base.DEC),
    block_data = ProtoField.bytes("zuna.block.data", "Block data"),

    module_name = ProtoField.string("zuna.module.name", "Module"),
    module_start = ProtoField.uint32("zuna.module.start_address", "Start address", base.HEX),
    module_alloc = ProtoField.uint32("zuna.module.alloc_space", "Allocated bytes", base.DEC),
    module_used = ProtoField.uint32("zuna.module.used_space", "Used bytes", base.DEC),
    module_block_start = ProtoField.uint16("zuna.module.block_start", "First block", base.DEC),
    module_blocks = ProtoField.uint16("zuna.module.num_blocks", "Blocks", base.DEC),
    module_version = ProtoField.uint16("zuna.module.version", "Module version", base.DEC),

    file_name = ProtoField.string("zuna.file.name", "Card file"),
    file_fragment = ProtoField.uint16("zuna.file.fragment", "Fragment", base.DEC),
    file_length = ProtoField.uint32("zuna.file.length", "Fragment length", base.DEC),
    file_status = ProtoField.uint16("zuna.file.status", "Fragment status", base.DEC),
    file_crc = ProtoField.uint32("zuna.file.crc", "Fragment CRC-32", base.HEX),
    file_data = ProtoField.bytes("zuna.file.data", "Fragment data"),
    file_unused = ProtoField.bytes("zuna.file.unused", "Unused record bytes"),
}
zuna.fields = f

local e = {
    bad_header = ProtoExpert.new("zuna.bad_header", "Not a valid ZUNA header", expert.group.MALFORMED,
        expert.severity.ERROR),
    skipped = ProtoExpert.new("zuna.stray_bytes", "Bytes before a header signature, skipped",
        expert.group.SEQUENCE, expert.severity.WARN),
    bad_checksum = ProtoExpert.new("zuna.checksum.bad", "Bad header checksum", expert.group.CHECKSUM,
        expert.severity.ERROR),
    short_record = ProtoExpert.new("zuna.short_record", "Record shorter than its layout", expert.group.MALFORMED,
        expert.severity.ERROR),
    bad_length = ProtoExpert.new("zuna.file.bad_length", "Fragment length beyond the record",
        expert.group.MALFORMED, expert.severity.ERROR),
    bad_crc = ProtoExpert.new("zuna.crc.bad", "CRC-32 does not match the data", expert.group.CHECKSUM,
        expert.severity.WARN),
    status = ProtoExpert.new("zuna.status.failure", "The card refused the request", expert.group.RESPONSE_CODE,
        expert.severity.NOTE),
}
zuna.experts = {e.skipped, e.bad_header, e.bad_checksum, e.short_record, e.bad_length, e.bad_crc, e.status}

local tcp_stream = Field.new("tcp.stream")

-- The command of the last request seen on each TCP stream, and for each reply the
-- request it answers (filled on the first pass, read on every later one).
local last_request = {}
local answered = {}

function zuna.init()
    last_request = {}
    answered = {}
end

-- The reflected CRC-32 of IEEE 802.3 over a string of bytes.
local crc_table = {}
for n = 0, 255 do
    local c = n
    for _ = 1, 8 do
        if bit32.band(c, 1) == 1 then
            c = bit32.bxor(0xEDB88320, bit32.rshift(c, 1))
        else
            c = bit32.rshift(c, 1)
        end
    end
    crc_table[n] = c
end

local function crc32(bytes)
    local crc = 0xFFFFFFFF
    local band, bxor, rshift, byte = bit32.band, bit32.bxor, bit32.rshift, string.byte
    for i = 1, #bytes do
        crc = bxor(rshift(crc, 8), crc_table[band(bxor(crc, byte(bytes, i)), 0xFF)])
    end
    return bxor(crc, 0xFFFFFFFF)
end

-- Where the next header signature starts, from `offset` on, in the bytes that have
-- arrived: its distance from `offset`, or nil.
local function signature_distance(tvb, offset)
    local available = tvb:len() - offset
    if available >= #SIGNATURE and tvb:raw(offset, #SIGNATURE) == SIGNATURE then return 0 end
    local at = string.find(tvb:raw(offset, available), SIGNATURE, 1, true)
    return at and at - 1 or nil
end

-- Why the header at `offset` is not one that the two ends would read, or nil.
local function header_problem(tvb, offset)
    local header_len = tvb(offset + 10, 1):uint()
    if header_len < HEADER_LEN then
        return string.format("header length %d is below %d", header_len, HEADER_LEN)
    end
    local total = header_len + tvb(offset + 12, 4):le_uint()
    if total > MAX_PACKET_LEN then
        return string.format("announces %.0f bytes, more than a packet holds (%d)", total, MAX_PACKET_LEN)
    end
    return nil
end

-- A packet's length: the bytes before its signature (both ends skip them), its
-- header and its data. Bytes without a signature, or a header that announces no
-- valid packet, are taken up to the end of what has arrived and shown as refused,
-- instead of waiting for the length they seem to announce.
local function packet_length(tvb, pinfo, offset)
    local rest = tvb:len() - offset
    local skip = signature_distance(tvb, offset)
    if skip == nil then return rest end
    if rest < skip + HEADER_LEN then return skip + HEADER_LEN end
    local at = offset + skip
    if header_problem(tvb, at) then return rest end
    return skip + tvb(at + 10, 1):uint() + tvb(at + 12, 4):le_uint()
end

-- Adds a CRC-32 field and checks it against `data` (a TvbRange, or nil when the
-- record's data is cut short).
local function add_crc(tree, field, range, data)
    local item = tree:add(field, range)
    if data == nil then return end
    local want = range:uint()
    local got = crc32(data:raw())
    if got == want then
        item:append_text(" [correct]")
    else
        item:append_text(string.format(" [incorrect, the data gives 0x%08x]", got))
        item:add_proto_expert_info(e.bad_crc, string.format("CRC-32 0x%08x does not match the data (0x%08x)", want, got))
    end
end

-- The subtree of a record of `need` bytes at the start of `data`; nil, and the record
-- marked short, when the packet carries fewer.
local function record(tree, data, need, what)
    if data:len() < need then
        tree:add_proto_expert_info(e.short_record,
            string.format("The %s needs %d bytes, the packet carries %d", what, need, data:len()))
        return nil
    end
    return tree:add(zuna, data(0, need), what:sub(1, 1):upper() .. what:sub(2))
end

local function dissect_login(tree, data)
    local t = record(tree, data, LOGIN_RECORD_LEN, "login record")
    if not t then return 0 end
    t:add(f.login_user, data(0, 32), data(0, 32):stringz())
    t:add(f.login_digest, data(32, 16))
    t:add(f.login_pad, data(48, 16))
    t:add(f.login_challenge, data(64, CHALLENGE_LEN))
    return LOGIN_RECORD_LEN
end

-- A flash block record: its numbers alone (a read request) or with the block's data.
local function dissect_block(tree, data, with_data)
    local need = with_data and FLASH_BLOCK_RECORD_LEN or FLASH_BLOCK_HEADER_LEN
    local t = record(tree, data, need, "flash block record")
    if not t then return 0 end
    t:add(f.block_number, data(0, 4))
    local block = with_data and data(FLASH_BLOCK_HEADER_LEN, FLASH_BLOCK_LEN) or nil
    add_crc(t, f.block_crc, data(4, 4), block)
    t:add(f.block_status, data(8, 2))
    if block then t:add(f.block_data, block) end
    t:append_text(string.format(", block %d", data(0, 4):uint()))
    return need
end

local function dissect_module(tree, data)
    local t = record(tree, data, MODULE_INFO_LEN, "module location record")
    if not t then return 0 end
    t:add(f.module_name, data(0, 8), data(0, 8):string())
    t:add(f.module_start, data(8, 4))
    t:add(f.module_alloc, data(12, 4))
    t:add(f.module_used, data(16, 4))
    t:add(f.module_block_start, data(20, 2))
    t:add(f.module_blocks, data(22, 2))
    t:add(f.module_version, data(24, 2))
    return MODULE_INFO_LEN
end

-- A file fragment record: its numbers alone (a download request) or with the data.
local function dissect_fragment(tree, data, with_data)
    local need = with_data and FILE_API_HEADER_LEN + FILE_FRAGMENT_LEN or FILE_API_HEADER_LEN
    local t = record(tree, data, need, "file fragment record")
    if not t then return 0 end
    t:add(f.file_name, data(0, FILE_NAME_LEN), data(0, FILE_NAME_LEN):stringz())
    t:add(f.file_fragment, data(80, 2))
    local length = data(82, 4):uint()
    local length_item = t:add(f.file_length, data(82, 4))
    local status = data(86, 2):uint()
    local status_item = t:add(f.file_status, data(86, 2))
    if status == 5 then
        status_item:append_text(" (short fragment, or a download request)")
    elseif status == 6 then
        status_item:append_text(" (full fragment, or the file's last)")
    end
    local fragment = nil
    if with_data then
        if length <= FILE_FRAGMENT_LEN then
            fragment = data(FILE_API_HEADER_LEN, length)
        else
            length_item:add_proto_expert_info(e.bad_length,
                string.format("Fragment length %d exceeds the record's %d data bytes", length, FILE_FRAGMENT_LEN))
        end
    end
    add_crc(t, f.file_crc, data(88, 4), fragment)
    if fragment then
        if length > 0 then t:add(f.file_data, fragment) end
        if length < FILE_FRAGMENT_LEN then
            t:add(f.file_unused, data(FILE_API_HEADER_LEN + length, FILE_FRAGMENT_LEN - length))
        end
    end
    t:append_text(string.format(", fragment %d, %d bytes", data(80, 2):uint(), length))
    return need
end

-- The records this dissector knows, by command and direction; the rest shows as data.
local function dissect_data(tree, data, command, to_card)
    if command == CMD_GET_CHALLENGE and not to_card then
        local t = record(tree, data, CHALLENGE_LEN, "challenge")
        if not t then return 0 end
        t:add(f.challenge, data(0, CHALLENGE_LEN))
        return CHALLENGE_LEN
    elseif command == CMD_LOGIN and to_card then
        return dissect_login(tree, data)
    elseif command == CMD_WRITE_BLOCK and to_card then
        return dissect_block(tree, data, true)
    elseif command == CMD_READ_BLOCK then
        return dissect_block(tree, data, not to_card)
    elseif command == CMD_MODULE_GET_NUM_BLOCKS then
        return dissect_module(tree, data)
    elseif command == CMD_GET_FILE_FRAGMENT then
        return dissect_fragment(tree, data, not to_card)
    elseif command == CMD_SEND_FILE_FRAGMENT and to_card then
        return dissect_fragment(tree, data, true)
    end
    return 0
end

local function version_text(range)
    return string.format("%d.%d", range(0, 1):uint(), range(1, 1):uint())
end

-- The PDUs of the frame being dissected, counted so that each reply finds its
-- request again on later passes.
local pdu_index = 0

local function dissect_packet(tvb, pinfo, tree)
    local to_card = pinfo.dst_port == ZUNA_PORT
    local whole = tvb:len()
    pdu_index = pdu_index + 1
    pinfo.cols.protocol = "ZUNA"
    local root = tree:add(zuna, tvb())
    root:add(f.direction, to_card and 0 or 1):set_generated()

    local skip = signature_distance(tvb, 0)
    if skip == nil or skip > 0 then
        local skipped = tvb(0, skip or tvb:len())
        root:add(f.skipped, skipped)
        root:add_proto_expert_info(e.skipped, string.format("%d bytes before a header signature", skipped:len()))
        if skip == nil then
            pinfo.cols.info:append((pdu_index > 1 and ", " or "") .. "No ZUNA header")
            return whole
        end
        tvb = tvb(skip):tvb()
    end
    local problem = "the header is cut short"
    if tvb:len() >= HEADER_LEN then problem = header_problem(tvb, 0) end
    if problem then
        root:append_text(", refused bytes")
        root:add_proto_expert_info(e.bad_header, "Not a valid ZUNA header: " .. problem)
        root:add(f.data, tvb())
        pinfo.cols.info:append((pdu_index > 1 and ", " or "") .. "Refused ZUNA header")
        return whole
    end

    local header_len = tvb(10, 1):uint()
    local data_len = tvb(12, 4):le_uint()
    local command = tvb(20, 2):le_uint()
    local status = tvb(22, 2):le_uint()

    local h = root:add(zuna, tvb(0, header_len), "Header")
    h:add(f.signature, tvb(0, 8))
    h:add(f.version, tvb(8, 2), version_text(tvb(8, 2)))
    h:add(f.header_length, tvb(10, 1))
    local sum = 0
    for i = 0, HEADER_LEN - 1 do sum = sum + tvb(i, 1):uint() end
    sum = sum % 256
    local checksum = h:add(f.checksum, tvb(11, 1))
    h:add(f.checksum_status, tvb(11, 1), sum == 0 and 1 or 0):set_generated()
    if sum == 0 then
        checksum:append_text(" [correct]")
    else
        checksum:append_text(string.format(" [incorrect, the header sums to 0x%02x]", sum))
        checksum:add_proto_expert_info(e.bad_checksum,
            string.format("The 32 header bytes sum to 0x%02x, not 0", sum))
    end
    h:add_le(f.data_length, tvb(12, 4))
    h:add_le(f.vendor_id, tvb(16, 2))
    h:add_le(f.product_id, tvb(18, 2))
    h:add_le(f.command, tvb(20, 2))
    local status_item = h:add_le(f.status, tvb(22, 2))
    h:add(f.api_version, tvb(24, 2), version_text(tvb(24, 2)))
    h:add(f.originator, tvb(26, 1))
    h:add(f.client_data, tvb(27, 1))
    h:add(f.reserved, tvb(28, 4))
    if header_len > HEADER_LEN then h:add(f.data, tvb(HEADER_LEN, header_len - HEADER_LEN)) end

    -- A reply's records follow the request it answers; the card's command word in
    -- the reply is shown as it came.
    local record_command = command
    local stream_info = tcp_stream()
    local stream = stream_info and stream_info.value or 0
    if to_card then
        if not pinfo.visited then last_request[stream] = command end
    else
        local key = pinfo.number .. ":" .. pdu_index
        if not pinfo.visited then answered[key] = last_request[stream] end
        if answered[key] ~= nil then
            record_command = answered[key]
            root:add(f.request_command, record_command):set_generated()
        end
        if status ~= 0 then
            status_item:add_proto_expert_info(e.status,
                "The card answered " .. (statuses[status] or tostring(status)))
        end
    end

    local name = commands[record_command] or string.format("0x%04x", record_command)
    local summary = to_card and (name .. " request") or
        (name .. " reply, " .. (statuses[status] or tostring(status)))
    root:append_text(", " .. summary)
    pinfo.cols.info:append((pdu_index > 1 and ", " or "") .. summary)

    if data_len > 0 then
        local data = tvb(header_len, data_len)
        local used = dissect_data(root, data, record_command, to_card)
        if used < data_len then root:add(f.data, data(used, data_len - used)) end
    end
    return whole
end

function zuna.dissector(tvb, pinfo, tree)
    pdu_index = 0
    pinfo.cols.info:clear()
    dissect_tcp_pdus(tvb, tree, HEADER_LEN, packet_length, dissect_packet, true)
    return tvb:len()
end

DissectorTable.get("tcp.port"):add(ZUNA_PORT, zuna)
