/* Entry: the bootloader's Go loads the stack pointer from word 0 and jumps to word 1. The
 * parameter block follows; the host writes the line's baud and the flags into it. */
#include "HelperProtocol.h"
#include "helper.h"

extern uint32_t __stack_top, __bss_start, __bss_end;
int main(void);

__attribute__((noreturn)) static void helper_entry(void) {
    for (uint32_t* p = &__bss_start; p < &__bss_end; ++p)
        *p = 0;
    main();
    for (;;) {
    }
}

__attribute__((section(".vectors"), used)) static const void* const vectors[2] = {
    &__stack_top, (const void*)helper_entry};

__attribute__((section(".params"), used))
const volatile struct helper_params helper_params = {HELPER_PARAM_MAGIC, 115200u, HELPER_FLAG_PLL};
