// The boot sequence: noise, stripes, the logo with the boot sound and the
// version line, then the command-line cart, and at the end data.pod's head
// cart with every cart of the data file mounted. One step per logical frame
// while machine_mode is 2.
#pragma once

void boot_init();           // enters the boot state (start-up, reboot, splash)
void move_boot();           // one boot step; the frame loop advances pstate.frame
void boot_embedded_cart();  // step 80: the head cart
// The data file's carts from the head cart on, mounted under their names so that
// load() finds them.
void mount_data_file_carts();
void run_bios_program();    // the boot text program: "type help for help"
void update_bios_program(); // its interpreter (nothing in the player calls it)
int boot_read_hex(int c);
void move_splash(); // restarts the boot on any key, button or mouse button
