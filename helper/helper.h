/* The helper's own pieces. No C library: everything it needs is here. */
#ifndef HELPER_HELPER_H
#define HELPER_HELPER_H

#include <stdint.h>

struct helper_params {
    uint32_t magic;
    uint32_t baud;
    uint32_t flags;
};
extern const volatile struct helper_params helper_params;

/* clock.c: the core clock in Hz after clock_init; a millisecond tick while the timer runs. */
extern uint32_t core_hz;
void clock_init(int use_pll);
void clock_restore(void);
void timer_start(void);
void timer_stop(void);
int timer_poll(void); /* 1 when a millisecond has passed since the last poll that said so */

/* serial.c: USART1 at 8E1, received bytes kept in a ring while the helper is busy. */
void serial_init(uint32_t baud);
void serial_poll(void);
int serial_get(uint32_t timeout_ms); /* a byte, or -1 after timeout_ms (0: wait for ever) */
void serial_put(uint8_t byte);
void serial_drain(void);
void serial_discard(void);
uint32_t serial_divider(uint32_t baud);
uint32_t serial_set_divider(uint32_t divider); /* returns the previous one */
int serial_lost(void);                         /* and forgets it */
void serial_off(void);

/* flash.c: returns a status; *fail_at is the address an error concerns. */
uint32_t flash_program(uint32_t address, const uint16_t* data, uint32_t halfwords,
                       uint32_t* fail_at);
uint32_t flash_erase_page(uint32_t address);
void flash_lock(void);

/* crc32.c */
uint32_t crc32_update(uint32_t state, uint8_t byte);
#define CRC32_INITIAL 0xFFFFFFFFu
#define CRC32_FINAL(state) (~(state))

#endif
