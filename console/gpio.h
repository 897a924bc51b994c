// GPIO pins 0x5f80-0x5fff: 128 bytes of the RAM image. No device is opened;
// the serial GPIO stream writes pins through the same calls. Its channels
// 128-254 are RAM image bytes 0x6000-0x607e, past the pins: the screen keeps
// its own pixels, so nothing reads them back.
#pragma once

constexpr int Z6_GPIO_BASE = 0x5f80;   // address of pin 0
constexpr int Z6_GPIO_PINS = 128;      // pins 0x5f80-0x5fff
constexpr int Z6_GPIO_CHANNELS = 255;  // stream channels: RAM image byte 0x5f80 + channel

void gpio_write(int pin, int value); // stores RAM image byte 0x5f80 + pin (0..254; else nothing)
int gpio_read(int pin);              // that byte; 0 outside 0..254
void gpio_open();                    // nothing to open
void gpio_close();                   // nothing to close
