// GPIO pins 0x5f80-0x5fff: 128 bytes of the RAM image. No device is opened;
// the serial GPIO stream writes pins through the same calls.
#pragma once

constexpr int Z6_GPIO_BASE = 0x5f80; // address of pin 0
constexpr int Z6_GPIO_PINS = 128;

void gpio_write(int pin, int value); // stores the byte of the pin (pin taken modulo 128)
int gpio_read(int pin);              // the byte of the pin
void gpio_open();                    // nothing to open
void gpio_close();                   // nothing to close
