// GPIO pins kept in the console's RAM image.
#include "console/gpio.h"

#include <cstdint>

#include "console/state.h"

void gpio_write(int pin, int value) {
    pstate.console_ram[Z6_GPIO_BASE + (pin & (Z6_GPIO_PINS - 1))] = uint8_t(value);
}

int gpio_read(int pin) { return pstate.console_ram[Z6_GPIO_BASE + (pin & (Z6_GPIO_PINS - 1))]; }

void gpio_open() {}

void gpio_close() {}
