# The long-uptime test reads a fake clock of its own in place of SDL's.
target_link_options(shell_test_long_uptime PRIVATE -Wl,--wrap=SDL_GetTicks -Wl,--wrap=SDL_GetTicks64)
