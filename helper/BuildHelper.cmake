# Builds the RAM helper with the cross compiler and turns its image into a C++ source that
# pellion_core links. Without the cross compiler the source holds an empty image and the host
# reports fast programming as unavailable.
set(PELLION_HELPER_DIR ${CMAKE_SOURCE_DIR}/helper)
set(PELLION_HELPER_SOURCE ${CMAKE_BINARY_DIR}/generated/HelperImageData.cpp)
find_program(PELLION_ARM_GCC arm-none-eabi-gcc)
find_program(PELLION_ARM_OBJCOPY arm-none-eabi-objcopy)

if(PELLION_ARM_GCC AND PELLION_ARM_OBJCOPY)
  file(GLOB helper_sources CONFIGURE_DEPENDS ${PELLION_HELPER_DIR}/*.c)
  file(GLOB helper_headers CONFIGURE_DEPENDS ${PELLION_HELPER_DIR}/*.h)
  set(helper_elf ${CMAKE_BINARY_DIR}/helper/helper.elf)
  set(helper_bin ${CMAKE_BINARY_DIR}/helper/helper.bin)
  add_custom_command(
    OUTPUT ${helper_elf}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/helper
    COMMAND ${PELLION_ARM_GCC} -mcpu=cortex-m3 -mthumb -Os -flto -ffreestanding -nostdlib
            -fno-builtin -Wall -Wextra -Werror -ffunction-sections -fdata-sections
            -I${PELLION_HELPER_DIR} -T ${PELLION_HELPER_DIR}/helper.ld -Wl,--gc-sections
            -Wl,-Map=${CMAKE_BINARY_DIR}/helper/helper.map -o ${helper_elf} ${helper_sources}
    DEPENDS ${helper_sources} ${helper_headers} ${PELLION_HELPER_DIR}/helper.ld
    COMMENT "Building the RAM helper"
    VERBATIM)
  add_custom_command(
    OUTPUT ${PELLION_HELPER_SOURCE}
    COMMAND ${PELLION_ARM_OBJCOPY} -O binary -j .image ${helper_elf} ${helper_bin}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${helper_bin} -DOUTPUT=${PELLION_HELPER_SOURCE}
            -P ${PELLION_HELPER_DIR}/EmbedHelper.cmake
    DEPENDS ${helper_elf} ${PELLION_HELPER_DIR}/EmbedHelper.cmake
    COMMENT "Embedding the RAM helper"
    VERBATIM)
else()
  message(WARNING "arm-none-eabi-gcc not found: the RAM helper is not built and fast "
                  "programming is unavailable (scripts/setup.sh installs gcc-arm-none-eabi)")
  execute_process(COMMAND ${CMAKE_COMMAND} -DOUTPUT=${PELLION_HELPER_SOURCE}
                          -P ${PELLION_HELPER_DIR}/EmbedHelper.cmake)
endif()
