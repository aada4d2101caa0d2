#include "helper.h"
#include "registers.h"

#define INTERNAL_OSCILLATOR_HZ 8000000u
#define PLL_HZ 64000000u
#define PLL_LOCK_POLLS 100000u

uint32_t core_hz;

void clock_init(int use_pll) {
    core_hz = INTERNAL_OSCILLATOR_HZ;
    if (!use_pll)
        return;
    /* Two flash wait states above 48 MHz; APB1 may not exceed 36 MHz. */
    FLC_ACR = FLC_ACR_PREFETCH_LATENCY2;
    CLK_CFGR = CLK_CFGR_PLLMUL16 | CLK_CFGR_PPRE1_DIV2;
    CLK_CR |= CLK_CR_PLLON;
    for (uint32_t n = 0; n < PLL_LOCK_POLLS; ++n) {
        if (CLK_CR & CLK_CR_PLLRDY) {
            CLK_CFGR |= CLK_CFGR_SW_PLL;
            while ((CLK_CFGR & CLK_CFGR_SWS_MASK) != CLK_CFGR_SWS_PLL) {
            }
            core_hz = PLL_HZ;
            return;
        }
    }
    /* No lock: stay on the internal oscillator, slower but correct. */
    CLK_CR &= ~CLK_CR_PLLON;
    CLK_CFGR = 0;
    FLC_ACR = FLC_ACR_RESET;
}

void clock_restore(void) {
    CLK_CFGR &= ~3u; /* back to the internal oscillator */
    while (CLK_CFGR & CLK_CFGR_SWS_MASK) {
    }
    CLK_CR &= ~CLK_CR_PLLON;
    CLK_CFGR = 0;
    FLC_ACR = FLC_ACR_RESET;
    core_hz = INTERNAL_OSCILLATOR_HZ;
}

static int timer_running;

void timer_start(void) {
    SYSTICK_CSR = 0;
    SYSTICK_RVR = core_hz / 1000u - 1u;
    SYSTICK_CVR = 0;
    SYSTICK_CSR = SYSTICK_ENABLE_CORE_CLOCK;
    timer_running = 1;
}

void timer_stop(void) {
    SYSTICK_CSR = 0;
    timer_running = 0;
}

int timer_poll(void) {
    return timer_running && (SYSTICK_CSR & SYSTICK_COUNTFLAG) != 0;
}
