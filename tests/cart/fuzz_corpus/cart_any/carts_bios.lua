-- bios: the boot sound lives in sfx 0
