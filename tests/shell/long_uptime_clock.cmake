# The long-uptime test reads a fake clock of its own in place of the back end's
# (vull_get_time and vull_plat_ticks, by their linker names).
target_link_options(shell_test_long_uptime PRIVATE
    -Wl,--wrap=_Z13vull_get_timev -Wl,--wrap=_Z15vull_plat_ticksv)
