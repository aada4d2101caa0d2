/* The RAM helper's line protocol: shared by the helper (C, on the chip) and the host's codec.
 *
 * Host frame:  A5 | command | length (2, LE) | check | payload (length bytes) | CRC-32 (4, LE)
 *              check = command ^ lengthLow ^ lengthHigh ^ 0x5A; the CRC covers command, length
 *              and payload.
 * Answer:      5A | status | command answered | value (4, LE) | CRC-32 (4, LE) over bytes 1..6
 */
#ifndef PELLION_HELPER_PROTOCOL_H
#define PELLION_HELPER_PROTOCOL_H

#define HELPER_PROTOCOL_VERSION 1u

/* Where the image is loaded and started (Go's address): above the 2 KiB of RAM the ROM
 * bootloader may use itself. Code, buffers and stack stay within the next 4 KiB. */
#define HELPER_LOAD_ADDRESS 0x20000800u
#define HELPER_RAM_BYTES 4096u

#define HELPER_FRAME_START 0xA5u
#define HELPER_ANSWER_START 0x5Au
#define HELPER_HEADER_CHECK_SEED 0x5Au
#define HELPER_HEADER_BYTES 5u
#define HELPER_CRC_BYTES 4u
#define HELPER_ANSWER_BYTES 11u
#define HELPER_MAX_CHUNK_BYTES 512u
#define HELPER_MAX_PAYLOAD_BYTES (4u + HELPER_MAX_CHUNK_BYTES)
#define HELPER_MAX_ERASE_PAGES (HELPER_MAX_PAYLOAD_BYTES / 4u)
/* Write frames the host may have sent and not yet seen answered. */
#define HELPER_WRITE_WINDOW 2u

/* Commands and their payloads. */
#define HELPER_CMD_PING 0x01u  /* none; answered Ready */
#define HELPER_CMD_ERASE 0x02u /* page addresses (4 each); value: pages erased */
#define HELPER_CMD_WRITE 0x03u /* address (4), data (even, 2..512); value: the address */
#define HELPER_CMD_CRC 0x04u   /* address (4), length (4); value: CRC-32 of that flash */
#define HELPER_CMD_SPEED 0x05u /* baud (4); value: the baud the divider gives */
#define HELPER_CMD_RUN 0x06u   /* none; peripherals back to reset state, program at flash start */
#define HELPER_CMD_RESET 0x07u /* none; system reset (the boot pins choose what runs) */

/* Answer statuses. Errors carry the address concerned where there is one. */
#define HELPER_STATUS_OK 0x00u
#define HELPER_STATUS_READY 0x01u         /* value: version << 16 | largest chunk */
#define HELPER_STATUS_BAD_FRAME 0x40u     /* CRC mismatch: nothing done, send again */
#define HELPER_STATUS_BAD_REQUEST 0x41u   /* unknown command, bad length or range */
#define HELPER_STATUS_OVERFLOW 0x42u      /* bytes were lost on receive */
#define HELPER_STATUS_PROGRAM_ERROR 0x50u /* half-word not erased before programming */
#define HELPER_STATUS_PROTECTED 0x51u     /* page write-protected */
#define HELPER_STATUS_SPEED_REFUSED 0x52u /* divider too far off; value: nearest baud */

/* The image starts with a vector table (stack top, entry) and a parameter block the host fills
 * in before loading: word 2 magic, word 3 initial baud, word 4 flags. */
#define HELPER_PARAM_MAGIC 0x3150484Cu /* "LHP1" */
#define HELPER_PARAM_MAGIC_OFFSET 8u
#define HELPER_PARAM_BAUD_OFFSET 12u
#define HELPER_PARAM_FLAGS_OFFSET 16u
#define HELPER_FLAG_PLL 0x1u /* run the core at 64 MHz from the internal oscillator */

/* After answering Speed the helper listens at the new speed for this long; without a valid
 * frame it goes back to the old one. */
#define HELPER_SPEED_WINDOW_MS 1000u
/* Largest divider error the helper accepts, in thousandths. */
#define HELPER_SPEED_TOLERANCE_PERMILLE 15u

#endif
