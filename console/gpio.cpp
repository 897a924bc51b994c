// GPIO pins kept in the console's RAM image.
#include "console/gpio.h"

#include <cstdint>

#include "cart/state.h"

void gpio_write(int pin, int value) {
    if (pin >= 0 && pin < Z6_GPIO_CHANNELS) pstate.console_ram[Z6_GPIO_BASE + pin] = uint8_t(value);
}

int gpio_read(int pin) {
    return pin >= 0 && pin < Z6_GPIO_CHANNELS ? pstate.console_ram[Z6_GPIO_BASE + pin] : 0;
}

void gpio_open() {}

void gpio_close() {}
