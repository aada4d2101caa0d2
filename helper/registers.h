/* Register addresses and bits of the chips' clock controller, flash controller, port A, USART1
 * and the core's system timer. Only what the helper touches. */
#ifndef HELPER_REGISTERS_H
#define HELPER_REGISTERS_H

#include <stdint.h>

#define REG32(address) (*(volatile uint32_t*)(address))
#define REG16(address) (*(volatile uint16_t*)(address))

#define FLASH_MEMORY_BASE 0x08000000u
#define FLASH_SECOND_BANK 0x08080000u
#define FLASH_SIZE_KIB REG16(0x1FFFF7E0u)

/* Clock controller */
#define CLK_BASE 0x40021000u
#define CLK_CR REG32(CLK_BASE + 0x00u)
#define CLK_CFGR REG32(CLK_BASE + 0x04u)
#define CLK_APB2RSTR REG32(CLK_BASE + 0x0Cu)
#define CLK_APB2ENR REG32(CLK_BASE + 0x18u)
#define CLK_CR_PLLON (1u << 24)
#define CLK_CR_PLLRDY (1u << 25)
#define CLK_CFGR_SW_PLL 0x2u
#define CLK_CFGR_SWS_MASK 0xCu
#define CLK_CFGR_SWS_PLL 0x8u
#define CLK_CFGR_PPRE1_DIV2 (4u << 8)
#define CLK_CFGR_PLLMUL16 (14u << 18) /* the PLL's input is the internal oscillator / 2 */
#define CLK_APB2_PORTA (1u << 2)
#define CLK_APB2_USART1 (1u << 14)

/* Flash controller; the second bank's registers sit 0x40 higher. */
#define FLC_BASE 0x40022000u
#define FLC_ACR REG32(FLC_BASE + 0x00u)
#define FLC_KEYR(bank) REG32((bank) + 0x04u)
#define FLC_SR(bank) REG32((bank) + 0x0Cu)
#define FLC_CR(bank) REG32((bank) + 0x10u)
#define FLC_AR(bank) REG32((bank) + 0x14u)
#define FLC_BANK2 (FLC_BASE + 0x40u)
#define FLC_ACR_RESET 0x30u
#define FLC_ACR_PREFETCH_LATENCY2 0x12u
#define FLC_KEY1 0x45670123u
#define FLC_KEY2 0xCDEF89ABu
#define FLC_SR_BSY 0x01u
#define FLC_SR_PGERR 0x04u
#define FLC_SR_WRPRTERR 0x10u
#define FLC_SR_EOP 0x20u
#define FLC_CR_PG 0x01u
#define FLC_CR_PER 0x02u
#define FLC_CR_STRT 0x40u
#define FLC_CR_LOCK 0x80u

/* Port A: pins 8..15 in CRH, four bits each. */
#define PORTA_CRH REG32(0x40010804u)
#define PORTA_CRH_SERIAL_MASK 0xFF0u
#define PORTA_CRH_SERIAL 0x4B0u /* pin 9 alternate push-pull 50 MHz, pin 10 floating input */

/* USART1 */
#define USART1_BASE 0x40013800u
#define USART1_SR REG32(USART1_BASE + 0x00u)
#define USART1_DR REG32(USART1_BASE + 0x04u)
#define USART1_BRR REG32(USART1_BASE + 0x08u)
#define USART1_CR1 REG32(USART1_BASE + 0x0Cu)
#define USART1_CR2 REG32(USART1_BASE + 0x10u)
#define USART_SR_ORE 0x08u
#define USART_SR_RXNE 0x20u
#define USART_SR_TC 0x40u
#define USART_SR_TXE 0x80u
#define USART_CR1_8E1_ON 0x340Cu /* enable, nine bits with even parity, transmitter, receiver */

/* System timer and system control of the core */
#define SYSTICK_CSR REG32(0xE000E010u)
#define SYSTICK_RVR REG32(0xE000E014u)
#define SYSTICK_CVR REG32(0xE000E018u)
#define SYSTICK_ENABLE_CORE_CLOCK 0x5u
#define SYSTICK_COUNTFLAG (1u << 16)
#define SCB_AIRCR REG32(0xE000ED0Cu)
#define SCB_AIRCR_SYSTEM_RESET 0x05FA0004u

#endif
