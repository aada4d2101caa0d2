/* The helper's command loop: one frame in, one answer out (a write answers after its chunk is
 * programmed, while the next chunk is already arriving). */
#include "HelperProtocol.h"
#include "helper.h"
#include "registers.h"

enum frame_result { FRAME_OK, FRAME_BAD, FRAME_TIMEOUT };

static uint32_t payload_words[(HELPER_MAX_PAYLOAD_BYTES + 3u) / 4u];
#define payload ((uint8_t*)payload_words)
static uint32_t flash_end;

static uint32_t le32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint32_t crc_bytes(uint32_t state, const uint8_t* p, uint32_t n) {
    while (n--)
        state = crc32_update(state, *p++);
    return state;
}

static void answer(uint32_t status, uint32_t command, uint32_t value) {
    uint8_t a[HELPER_ANSWER_BYTES];
    a[0] = HELPER_ANSWER_START;
    a[1] = (uint8_t)status;
    a[2] = (uint8_t)command;
    for (int i = 0; i < 4; ++i)
        a[3 + i] = (uint8_t)(value >> (8 * i));
    const uint32_t crc = CRC32_FINAL(crc_bytes(CRC32_INITIAL, a + 1, 6));
    for (int i = 0; i < 4; ++i)
        a[7 + i] = (uint8_t)(crc >> (8 * i));
    for (uint32_t i = 0; i < HELPER_ANSWER_BYTES; ++i)
        serial_put(a[i]);
}

static void answer_ready(uint32_t command) {
    answer(HELPER_STATUS_READY, command, HELPER_PROTOCOL_VERSION << 16 | HELPER_MAX_CHUNK_BYTES);
}

/* Hunts for a frame start, checks the header and reads payload and CRC. A header that does not
 * check out is skipped byte by byte, so a frame whose length was corrupted costs only itself. */
static enum frame_result read_frame(uint32_t* command, uint32_t* length, uint32_t timeout_ms) {
    for (;;) {
        int byte = serial_get(timeout_ms);
        if (byte < 0)
            return FRAME_TIMEOUT;
        if (byte != HELPER_FRAME_START)
            continue;
        uint8_t header[4];
        for (int i = 0; i < 4; ++i) {
            if ((byte = serial_get(timeout_ms)) < 0)
                return FRAME_TIMEOUT;
            header[i] = (uint8_t)byte;
        }
        const uint32_t n = header[1] | (uint32_t)header[2] << 8;
        if ((header[0] ^ header[1] ^ header[2] ^ HELPER_HEADER_CHECK_SEED) != header[3] ||
            n > HELPER_MAX_PAYLOAD_BYTES)
            continue;
        uint32_t state = crc_bytes(CRC32_INITIAL, header, 3);
        uint8_t crc[HELPER_CRC_BYTES];
        for (uint32_t i = 0; i < n + HELPER_CRC_BYTES; ++i) {
            if ((byte = serial_get(timeout_ms)) < 0)
                return FRAME_TIMEOUT;
            if (i < n) {
                payload[i] = (uint8_t)byte;
                state = crc32_update(state, (uint8_t)byte);
            } else {
                crc[i - n] = (uint8_t)byte;
            }
        }
        *command = header[0];
        *length = n;
        return CRC32_FINAL(state) == le32(crc) ? FRAME_OK : FRAME_BAD;
    }
}

static int in_flash(uint32_t address, uint32_t length) {
    return address >= FLASH_MEMORY_BASE && address <= flash_end && length <= flash_end - address;
}

static void do_erase(uint32_t length) {
    const uint32_t count = length / 4u;
    if (count == 0 || length % 4u) {
        answer(HELPER_STATUS_BAD_REQUEST, HELPER_CMD_ERASE, 0);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t address = le32(payload + 4u * i);
        if (!in_flash(address, 1)) {
            answer(HELPER_STATUS_BAD_REQUEST, HELPER_CMD_ERASE, address);
            return;
        }
        const uint32_t status = flash_erase_page(address);
        if (status != HELPER_STATUS_OK) {
            answer(status, HELPER_CMD_ERASE, address);
            return;
        }
    }
    answer(HELPER_STATUS_OK, HELPER_CMD_ERASE, count);
}

static void do_write(uint32_t length) {
    const uint32_t address = length >= 4u ? le32(payload) : 0;
    const uint32_t bytes = length - 4u;
    if (length < 6u || bytes % 2u || address % 2u || !in_flash(address, bytes)) {
        answer(HELPER_STATUS_BAD_REQUEST, HELPER_CMD_WRITE, address);
        return;
    }
    uint32_t fail_at = address;
    const uint32_t status =
        flash_program(address, (const uint16_t*)(payload + 4), bytes / 2u, &fail_at);
    answer(status, HELPER_CMD_WRITE, status == HELPER_STATUS_OK ? address : fail_at);
}

static void do_crc(uint32_t length) {
    const uint32_t address = length == 8u ? le32(payload) : 0;
    const uint32_t bytes = length == 8u ? le32(payload + 4) : 0;
    if (length != 8u || !in_flash(address, bytes)) {
        answer(HELPER_STATUS_BAD_REQUEST, HELPER_CMD_CRC, address);
        return;
    }
    uint32_t state = CRC32_INITIAL;
    for (uint32_t i = 0; i < bytes; ++i)
        state = crc32_update(state, *(const volatile uint8_t*)(address + i));
    answer(HELPER_STATUS_OK, HELPER_CMD_CRC, CRC32_FINAL(state));
}

static void dispatch(uint32_t command, uint32_t length);

/* The new speed holds only once a valid frame arrives at it; otherwise both ends go back. */
static void do_speed(uint32_t length) {
    const uint32_t baud = length == 4u ? le32(payload) : 0;
    if (baud == 0) {
        answer(HELPER_STATUS_BAD_REQUEST, HELPER_CMD_SPEED, 0);
        return;
    }
    const uint32_t divider = serial_divider(baud);
    const uint32_t actual = divider >= 16u ? core_hz / divider : 0;
    const uint32_t off = actual > baud ? actual - baud : baud - actual;
    if (divider < 16u || off > baud / 1000u * HELPER_SPEED_TOLERANCE_PERMILLE) {
        answer(HELPER_STATUS_SPEED_REFUSED, HELPER_CMD_SPEED, actual);
        return;
    }
    answer(HELPER_STATUS_OK, HELPER_CMD_SPEED, actual);
    serial_drain();
    const uint32_t before = serial_set_divider(divider);
    serial_discard();
    timer_start();
    uint32_t command, n;
    const enum frame_result result = read_frame(&command, &n, HELPER_SPEED_WINDOW_MS);
    timer_stop();
    if (result == FRAME_OK) {
        dispatch(command, n);
        return;
    }
    serial_set_divider(before);
    serial_discard();
}

__attribute__((noreturn)) static void do_run(void) {
    answer(HELPER_STATUS_OK, HELPER_CMD_RUN, FLASH_MEMORY_BASE);
    serial_drain();
    flash_lock();
    serial_off();
    clock_restore();
    const uint32_t stack = REG32(FLASH_MEMORY_BASE);
    const uint32_t entry = REG32(FLASH_MEMORY_BASE + 4u);
    __asm__ volatile("msr msp, %0\n\tbx %1" : : "r"(stack), "r"(entry) : "memory");
    __builtin_unreachable();
}

__attribute__((noreturn)) static void do_reset(void) {
    answer(HELPER_STATUS_OK, HELPER_CMD_RESET, 0);
    serial_drain();
    flash_lock();
    SCB_AIRCR = SCB_AIRCR_SYSTEM_RESET;
    for (;;) {
    }
}

static void dispatch(uint32_t command, uint32_t length) {
    switch (command) {
        case HELPER_CMD_PING:
            answer_ready(command);
            return;
        case HELPER_CMD_ERASE:
            do_erase(length);
            return;
        case HELPER_CMD_WRITE:
            do_write(length);
            return;
        case HELPER_CMD_CRC:
            do_crc(length);
            return;
        case HELPER_CMD_SPEED:
            do_speed(length);
            return;
        case HELPER_CMD_RUN:
            do_run();
        case HELPER_CMD_RESET:
            do_reset();
        default:
            answer(HELPER_STATUS_BAD_REQUEST, command, 0);
            return;
    }
}

int main(void) {
    clock_init((helper_params.flags & HELPER_FLAG_PLL) != 0);
    serial_init(helper_params.baud);
    flash_end = FLASH_MEMORY_BASE + (uint32_t)FLASH_SIZE_KIB * 1024u;
    answer_ready(0);
    for (;;) {
        uint32_t command, length;
        const enum frame_result result = read_frame(&command, &length, 0);
        if (serial_lost())
            answer(HELPER_STATUS_OVERFLOW, command, 0);
        else if (result == FRAME_BAD)
            answer(HELPER_STATUS_BAD_FRAME, command,
                   command == HELPER_CMD_WRITE ? le32(payload) : 0);
        else
            dispatch(command, length);
    }
}
