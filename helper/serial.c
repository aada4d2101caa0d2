#include "HelperProtocol.h"
#include "helper.h"
#include "registers.h"

/* Holds one whole write frame, which arrives while the one before it is programmed, and what
 * arrives of the frame after it while the first is taken out (about 40 bytes at 921600 baud on
 * the 64 MHz clock, 100 at 230400 on 8 MHz). */
#define RING_BYTES (HELPER_HEADER_BYTES + HELPER_MAX_PAYLOAD_BYTES + HELPER_CRC_BYTES + 160u)

static uint8_t ring[RING_BYTES];
static uint32_t head, tail;
static int lost;
static uint32_t milliseconds;

void serial_init(uint32_t baud) {
    CLK_APB2ENR |= CLK_APB2_PORTA | CLK_APB2_USART1;
    PORTA_CRH = (PORTA_CRH & ~PORTA_CRH_SERIAL_MASK) | PORTA_CRH_SERIAL;
    USART1_BRR = serial_divider(baud);
    USART1_CR2 = 0;
    USART1_CR1 = USART_CR1_8E1_ON;
}

void serial_off(void) {
    USART1_CR1 = 0;
    CLK_APB2RSTR = CLK_APB2_PORTA | CLK_APB2_USART1;
    CLK_APB2RSTR = 0;
    CLK_APB2ENR &= ~(CLK_APB2_PORTA | CLK_APB2_USART1);
}

uint32_t serial_divider(uint32_t baud) {
    return (core_hz + baud / 2u) / baud;
}

uint32_t serial_set_divider(uint32_t divider) {
    const uint32_t before = USART1_BRR;
    USART1_BRR = divider;
    return before;
}

/* A full ring leaves the byte in USART1: the next one to arrive then overruns, and the
 * overrun flag says a byte was lost. */
void serial_poll(void) {
    const uint32_t status = USART1_SR;
    if (status & USART_SR_ORE)
        lost = 1;
    uint32_t next = head + 1u;
    if (next == RING_BYTES)
        next = 0;
    if ((status & USART_SR_RXNE) && next != tail) {
        ring[head] = (uint8_t)USART1_DR; /* bit 8 is the parity bit */
        head = next;
    }
    if (timer_poll())
        ++milliseconds;
}

/* Polls even when the ring has bytes: at 921600 baud a byte arrives every 12 us, and USART1
 * holds only one. */
int serial_get(uint32_t timeout_ms) {
    const uint32_t start = milliseconds;
    serial_poll();
    while (head == tail) {
        serial_poll();
        if (timeout_ms && milliseconds - start >= timeout_ms)
            return -1;
    }
    const uint8_t byte = ring[tail];
    tail = tail + 1u == RING_BYTES ? 0 : tail + 1u;
    return byte;
}

void serial_put(uint8_t byte) {
    while (!(USART1_SR & USART_SR_TXE))
        serial_poll();
    USART1_DR = byte;
}

void serial_drain(void) {
    while (!(USART1_SR & USART_SR_TC))
        serial_poll();
}

void serial_discard(void) {
    tail = head;
}

int serial_lost(void) {
    const int was = lost;
    lost = 0;
    return was;
}
