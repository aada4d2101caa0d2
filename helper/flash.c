#include "HelperProtocol.h"
#include "helper.h"
#include "registers.h"

static uint32_t bank_of(uint32_t address) {
    return address >= FLASH_SECOND_BANK ? FLC_BANK2 : FLC_BASE;
}

static void unlock(uint32_t bank) {
    if (FLC_CR(bank) & FLC_CR_LOCK) {
        FLC_KEYR(bank) = FLC_KEY1;
        FLC_KEYR(bank) = FLC_KEY2;
    }
}

/* Waits for the controller, taking bytes off the line meanwhile; returns its error flags. */
static uint32_t finish(uint32_t bank, uint32_t mode) {
    while (FLC_SR(bank) & FLC_SR_BSY)
        serial_poll();
    FLC_CR(bank) &= ~mode;
    const uint32_t status = FLC_SR(bank);
    FLC_SR(bank) = FLC_SR_EOP | FLC_SR_PGERR | FLC_SR_WRPRTERR;
    if (status & FLC_SR_WRPRTERR)
        return HELPER_STATUS_PROTECTED;
    if (status & FLC_SR_PGERR)
        return HELPER_STATUS_PROGRAM_ERROR;
    return HELPER_STATUS_OK;
}

uint32_t flash_program(uint32_t address, const uint16_t* data, uint32_t halfwords,
                       uint32_t* fail_at) {
    for (uint32_t i = 0; i < halfwords; ++i, address += 2u) {
        serial_poll();
        volatile uint16_t* cell = (volatile uint16_t*)address;
        /* Equal cells are skipped: a chunk sent again after a lost answer is harmless. Any
         * other non-erased cell is programmed anyway so that the controller reports it. */
        if (*cell == data[i])
            continue;
        const uint32_t bank = bank_of(address);
        unlock(bank);
        FLC_SR(bank) = FLC_SR_EOP | FLC_SR_PGERR | FLC_SR_WRPRTERR;
        FLC_CR(bank) |= FLC_CR_PG;
        *cell = data[i];
        const uint32_t status = finish(bank, FLC_CR_PG);
        if (status != HELPER_STATUS_OK) {
            *fail_at = address;
            return status;
        }
    }
    return HELPER_STATUS_OK;
}

uint32_t flash_erase_page(uint32_t address) {
    const uint32_t bank = bank_of(address);
    unlock(bank);
    FLC_SR(bank) = FLC_SR_EOP | FLC_SR_PGERR | FLC_SR_WRPRTERR;
    FLC_CR(bank) |= FLC_CR_PER;
    FLC_AR(bank) = address;
    FLC_CR(bank) |= FLC_CR_STRT;
    return finish(bank, FLC_CR_PER);
}

void flash_lock(void) {
    FLC_CR(FLC_BASE) |= FLC_CR_LOCK;
    if (FLASH_SIZE_KIB > (FLASH_SECOND_BANK - FLASH_MEMORY_BASE) / 1024u)
        FLC_CR(FLC_BANK2) |= FLC_CR_LOCK;
}
